// The figures family through the shell in-process: the objects and properties each
// function leaves in the graphics store, its errors, and what the figures render to.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "host/render.h"
#include "mexrt/graphics.h"
#include "mexrt/mathlib.h"
#include "mexrt/testing.h"
#include "png_image.h"
#include "shell/eval.h"
#include "shell/parser.h"

namespace fs = std::filesystem;
namespace g = mexrt::graphics;

namespace {

class Figures : public ::testing::Test {
 protected:
  void SetUp() override {
    g::clearAll();
    dir_ =
        fs::path(::testing::TempDir()) /
        ("figures_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
         "_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    shell::Hooks hooks;
    hooks.renderFigure = [this](double h, const std::string &file, double resolution) {
      host::renderFigure(h, dir_ / file, resolution);
    };
    ev_ = std::make_unique<shell::Evaluator>(hooks);
    live_ = mexrtLiveArrayCount();
  }
  void TearDown() override {
    ev_.reset();
    g::clearAll();
    EXPECT_EQ(mexrtLiveArrayCount(), live_) << "arrays left behind";
    fs::remove_all(dir_);
  }

  // Runs statements; the error message, or "" when they ran.
  std::string run(const std::string &statements) {
    testing::internal::CaptureStdout();
    std::string error;
    try {
      ev_->run(shell::parse(statements));
    } catch (const std::exception &e) {
      error = e.what();
    }
    output_ = testing::internal::GetCapturedStdout();
    return error;
  }
  std::vector<double> numbers(const char *variable) const {
    const mxArray *a = ev_->variable(variable);
    if (!a || mxGetClassID(a) != mxDOUBLE_CLASS) return {};
    return {mxGetPr(a), mxGetPr(a) + mxGetNumberOfElements(a)};
  }
  std::string text(const char *variable) const {
    const mxArray *a = ev_->variable(variable);
    if (!a || mxGetClassID(a) != mxCHAR_CLASS) return "?";
    char *s = mxArrayToString(a);
    std::string out = s;
    mxFree(s);
    return out;
  }
  Image rendered(const std::string &statements, const char *file = "out.png") {
    EXPECT_EQ(run(statements + "; print('-dpng', '" + file + "')"), "") << statements;
    return Image(dir_ / file);
  }

  std::unique_ptr<shell::Evaluator> ev_;
  fs::path dir_;
  std::string output_;
  std::size_t live_ = 0;
};

// The device box of an axes in a rendered image: [x0, y0, x1, y1) from the top left.
std::array<int, 4> boxOf(double axes) {
  std::array<double, 4> r = g::pixelPosition(axes);
  double figureHeight = g::pixelPosition(g::parentOf(axes))[3];
  return {
      static_cast<int>(std::round(r[0])), static_cast<int>(std::round(figureHeight - r[1] - r[3])),
      static_cast<int>(std::round(r[0] + r[2])), static_cast<int>(std::round(figureHeight - r[1]))};
}

bool isRed(Pixel p) { return p.r > 200 && p.g < 80 && p.b < 80; }
bool isBlue(Pixel p) { return p.b > 200 && p.r < 80 && p.g < 80; }
bool isDark(Pixel p) { return p.r < 90 && p.g < 90 && p.b < 90; }

TEST_F(Figures, EachFunctionLeavesItsObjectsAndProperties) {
  const struct {
    const char *statements, *variable;
    std::vector<double> expected;
  } numeric[] = {
      {"h = plot([1 2 3; 4 5 6]'); v = size(h);", "v", {2, 1}},
      {"h = plot([1 2 3; 4 5 6]'); v = get(h(1), 'Color');", "v", {0, 0, 1}},
      {"h = plot([1 2 3; 4 5 6]'); v = get(h(2), 'Color');", "v", {0, 0.5, 0}},  // colour order
      {"h = plot([1 2 3; 4 5 6]'); v = get(h(2), 'YData');", "v", {4, 5, 6}},
      {"h = plot([1 2 3; 4 5 6]'); v = get(h(2), 'XData');", "v", {1, 2, 3}},
      {"h = plot(10:12, [1 2 3; 4 5 6]); v = get(h(2), 'XData');", "v", {10, 11, 12}},  // by rows
      {"h = plot(1:3, [3 2 1], 'r--o'); v = get(h, 'Color');", "v", {1, 0, 0}},
      {"h = plot(1:2, 1:2, 'g', 3:4, 3:4, 'k'); v = get(h(2), 'Color');", "v", {0, 0, 0}},
      {"h = plot(1:2, 'LineWidth', 3); v = get(h, 'LineWidth');", "v", {3}},
      {"plot(1:2); hold('on'); h = plot(1:2); v = get(h, 'Color');", "v", {0, 0.5, 0}},
      {"plot(1:2); hold('on'); plot(1:2); v = numel(get(gca, 'Children'));", "v", {2}},
      {"plot(1:2); hold('on'); hold('off'); plot(1:2); v = numel(get(gca, 'Children'));", "v", {1}},
      {"plot([]); v = numel(get(gca, 'Children'));", "v", {0}},
      {"h = imagesc(reshape(1:6, 2, 3)); v = get(h, 'XData');", "v", {1, 3}},
      {"h = imagesc(reshape(1:6, 2, 3)); v = get(gca, 'XLim');", "v", {0.5, 3.5}},
      {"h = imagesc(reshape(1:6, 2, 3)); v = get(gca, 'YLim');", "v", {0.5, 2.5}},
      {"h = imagesc(reshape(1:6, 2, 3)); v = get(gca, 'CLim');", "v", {1, 6}},
      {"h = imagesc(0:2:4, [10 20], ones(2, 3)); v = get(h, 'XData');", "v", {0, 4}},
      {"imagesc(ones(2, 3)); v = get(gca, 'CLim');", "v", {0, 2}},  // all equal: still a range
      {"imagesc(1:4, [0 10]); v = caxis;", "v", {0, 10}},
      {"imagesc([1 2; 3 4]); caxis([0 5]); v = caxis;", "v", {0, 5}},
      {"imagesc([1 2; 3 4]); caxis([0 5]); caxis('auto'); v = caxis;", "v", {1, 4}},
      {"colormap('gray'); m = colormap; v = m(end, :);", "v", {1, 1, 1}},
      {"colormap(hot(8)); v = size(colormap);", "v", {8, 3}},
      {"m = viridis(5); v = size(m);", "v", {5, 3}},
      {"m = jet(4); v = m(1, :);", "v", {0, 0, 1}},
      {"imagesc(1); c = colorbar; v = (get(c, 'Axes') == gca) + 0;", "v", {1}},
      {"plot(1:3); axis([0 1 2 3]); v = [get(gca, 'XLim') get(gca, 'YLim')];", "v", {0, 1, 2, 3}},
      {"plot([2 4], [-1 7]); axis('tight'); v = [get(gca, 'XLim') get(gca, 'YLim')];",
       "v",
       {2, 4, -1, 7}},
      {"t = text(1, 2, 'here'); v = get(t, 'Position');", "v", {1, 2, 0}},
      {"a = subplot(2, 1, 1); b = subplot(2, 1, 2); c = subplot(2, 1, 1); v = [a == c, a ~= b] + "
       "0;",
       "v",
       {1, 1}},
      {"subplot(2, 2, 1); subplot(2, 2, 4); v = numel(get(gcf, 'Children'));", "v", {2}},
      {"subplot(2, 2, 1); subplot(1, 1, 1); v = numel(get(gcf, 'Children'));", "v", {1}},
      {"f = figure(5); v = [f, gcf];", "v", {5, 5}},
      {"figure; figure; close; v = numel(get(gcf, 'Children')) + gcf;", "v", {1}},
      {"h = plot(1:2); set(h, 'LineWidth', 4, 'Color', [1 0 1]); v = get(h, 'Color');",
       "v",
       {1, 0, 1}},
      {"h = plot(1:2); v = ishandle([h 12345]) + 0;", "v", {1, 0}},
  };
  for (const auto &c : numeric) {
    g::clearAll();
    ASSERT_EQ(run(c.statements), "") << c.statements;
    EXPECT_EQ(numbers(c.variable), c.expected) << c.statements;
    ev_->clearVariables({});
  }
  const struct {
    const char *statements, *variable, *expected;
  } texts[] = {
      {"h = plot(1:3, 'r--o'); v = get(h, 'LineStyle');", "v", "--"},
      {"h = plot(1:3, 'k.'); v = get(h, 'LineStyle');", "v", "none"},
      {"h = plot(1:3, 'sb'); v = get(h, 'Marker');", "v", "square"},
      {"semilogy(1:3, [1 10 100]); v = get(gca, 'YScale');", "v", "log"},
      {"semilogx(1:3, [1 10 100]); v = get(gca, 'XScale');", "v", "log"},
      {"semilogy(1:3); plot(1:3); v = get(gca, 'YScale');", "v", "linear"},
      {"imagesc([1 2]); v = get(gca, 'YDir');", "v", "reverse"},
      {"imagesc([1 2]); axis('xy'); v = get(gca, 'YDir');", "v", "normal"},
      {"title('Top'); v = get(get(gca, 'Title'), 'String');", "v", "Top"},
      {"xlabel('x'); xlabel('again'); v = get(get(gca, 'XLabel'), 'String');", "v", "again"},
      {"ylabel('y'); v = get(get(gca, 'YLabel'), 'HandleVisibility');", "v", "off"},
      {"plot(1:2); title('T'); plot(1:3); v = get(gca, 'Title');", "v", "?"},  // reset: no title
      {"plot(1:2); hold('on'); v = get(gca, 'NextPlot');", "v", "add"},
      {"grid('on'); v = get(gca, 'YGrid');", "v", "on"},
      {"grid('on'); grid; v = get(gca, 'XGrid');", "v", "off"},
      {"plot(1:2); plot(2:3); l = legend('first'); v = get(l, 'String');", "v", "first"},
      {"h = plot([1 2; 3 4]); legend('a', 'b'); v = get(h(2), 'DisplayName');", "v", "b"},
      {"h = plot(1:2); v = get(h, 'Type');", "v", "line"},
  };
  for (const auto &c : texts) {
    g::clearAll();
    ASSERT_EQ(run(c.statements), "") << c.statements;
    EXPECT_EQ(text(c.variable), c.expected) << c.statements;
    ev_->clearVariables({});
  }
}

TEST_F(Figures, ColorbarAndLegendBelongToTheirAxes) {
  ASSERT_EQ(run("plot([1 2; 3 4]); ax = gca; p = get(ax, 'Position'); c = colorbar; "
                "l = legend('a', 'b'); q = get(ax, 'Position');"),
            "");
  std::vector<double> before = numbers("p"), after = numbers("q");
  EXPECT_LT(after[2], before[2]) << "the axes makes room for its colour bar";
  std::vector<double> bar = numbers("c");
  std::array<double, 4> barPx = g::pixelPosition(bar[0]), axPx = g::pixelPosition(numbers("ax")[0]);
  EXPECT_GT(barPx[0], axPx[0] + axPx[2]) << "the bar is right of the axes";
  EXPECT_EQ(g::typeName(numbers("l")[0]), "legend");
  ASSERT_EQ(run("colorbar('off'); r = get(ax, 'Position');"), "");
  EXPECT_NEAR(numbers("r")[2], before[2], 1e-9) << "the axes gets its width back";
  ASSERT_EQ(run("plot(1:3); n = numel(get(gcf, 'Children'));"), "");
  EXPECT_EQ(numbers("n"), std::vector<double>{1}) << "a new plot drops the legend";
  ASSERT_EQ(run("close('all');"), "");
  EXPECT_TRUE(g::figures().empty());
}

TEST_F(Figures, GetListsEveryPropertyAndSetListsChoices) {
  ASSERT_EQ(run("h = plot(1:3); get(h)"), "");
  for (const char *line : {"\tColor = [0 0 1]\n", "\tXData = [1 2 3]\n", "\tLineStyle = -\n",
                           "\tType = line\n", "\tMarker = none\n"})
    EXPECT_NE(output_.find(line), std::string::npos) << line << " in\n" << output_;
  ASSERT_EQ(run("set(h, 'LineStyle')"), "");
  EXPECT_EQ(output_, "\tLineStyle: [ {-} | -- | : | -. | none ]\n");
  ASSERT_EQ(run("get(gcf)"), "");
  EXPECT_NE(output_.find("\tColormap = [64x3 double]\n"), std::string::npos) << output_;
}

TEST_F(Figures, BadArgumentsAreClearErrorsNamingTheFunction) {
  const struct {
    const char *statement, *expected;
  } cases[] = {
      {"plot('abc')", "plot: the data must be numeric"},
      {"plot(1:3, 1:4)", "plot: the vectors must have the same length (3 and 4)"},
      {"plot(1:3, ones(2, 2))", "plot: the vector's length (3) matches neither dimension"},
      {"plot(ones(2, 3), ones(3, 2))", "plot: the matrices must have the same size"},
      {"plot(1:3, 1:3, 'zz')", "plot: 'zz' is not a format"},
      {"plot(1:3, 'LineWidth')", "plot: 'LineWidth' is not a format"},
      {"plot(1:3, 'NoSuch', 1)", "There is no \"NoSuch\" property of the line class"},
      {"plot()", "Not enough input arguments for 'plot'"},
      {"h = figure; h = plot(1:2, 'Color', 'q')", "line property \"Color\""},
      {"imagesc()", "Not enough input arguments for 'imagesc'"},
      {"imagesc('text')", "imagesc: the data must be numeric"},
      {"imagesc([1 2], [1 2 3])", "imagesc: the colour limits must be [lo hi]"},
      {"imagesc(1, 2, 3, 4, 5)", "imagesc: give C, or x, y and C"},
      {"colormap('nosuch')", "There is no colour map named \"nosuch\""},
      {"colormap([1 2])", "colormap: a colour map is an m x 3 matrix"},
      {"gray(0)", "gray: the number of colours must be a whole number"},
      {"colorbar('sideways')", "colorbar: 'sideways' is not an option"},
      {"subplot(2, 2, 5)", "subplot: the cell number must be a whole number from 1 to 4"},
      {"subplot(0, 2, 1)", "subplot: m and n must be whole numbers"},
      {"subplot(2, 1)", "subplot: give m, n and k"},
      {"axis([1 0 0 1])", "axis: limits must be [x0 x1 y0 y1]"},
      {"axis('sideways')", "axis: 'sideways' is not a mode"},
      {"axis", "axis: give limits"},
      {"caxis([2 1])", "caxis: the colour limits must be [lo hi]"},
      {"hold('maybe')", "hold: 'maybe' is not 'on' or 'off'"},
      {"grid('sideways')", "grid: 'sideways' is not 'on' or 'off'"},
      {"legend(3)", "legend: the entries must be texts"},
      {"title(3)", "title: the text must be a char array"},
      {"text(1, 'a', 'b')", "text: the position must be given as two finite numbers"},
      {"text(1, 2, 3)", "text: the text must be a char array"},
      {"figure(-1)", "figure: a figure's handle must be a positive whole number"},
      {"figure(2.5)", "figure: a figure's handle must be a positive whole number"},
      {"close(12345)", "close: 12345 is not a graphics object"},
      {"close('some')", "close: use close, close(h) or close('all')"},
      {"get(12345, 'Color')", "get: 12345 is not a graphics object"},
      {"h = plot(1:2); get(h, 'NoSuch')", "There is no \"NoSuch\" property of the line class"},
      {"h = plot(1:2); set(h, 'LineWidth', -1)", "Bad value for line property \"LineWidth\""},
      {"h = plot(1:2); s = get(h)", "get(h) lists the properties"},
      {"figure; print('-dbmp', 'x')", "print: unknown device '-dbmp'"},
      {"figure; print('-rabc', 'x')", "print: '-rabc' is not a resolution"},
      {"figure; print('-q', 'x')", "print: unknown option '-q'"},
      {"print('x.png')", "print: there is no figure to write"},
      {"figure; saveas(gcf, 'x', 'bmp')", "saveas: unknown format 'bmp'"},
  };
  for (const auto &c : cases) {
    g::clearAll();
    std::string error = run(c.statement);
    EXPECT_NE(error.find(c.expected), std::string::npos) << c.statement << ": " << error;
  }
  // A refused call leaves nothing half made.
  g::clearAll();
  EXPECT_NE(run("plot(1:2); hold('on'); plot(1:2, 1:2, 'r', 1:3, 1:2)"), "");
  EXPECT_EQ(g::childrenOf(g::childrenOf(g::figures().at(0)).at(0)).size(), 1u);
}

TEST_F(Figures, LinesStayInsideThePlotAreaNaNBreaksAndInfRunsToTheEdge) {
  Image img = rendered(
      "h = plot([0 1 2 NaN 4 5 6], [0 1 2 3 4 Inf 6], 'r', 'LineWidth', 2); axis([0 6 0 6])");
  ASSERT_TRUE(img.ok());
  auto [x0, y0, x1, y1] = boxOf(g::childrenOf(g::figures().at(0)).at(0));
  EXPECT_GT(img.count(x0, y0, x1, y1, isRed), 100) << "the line is drawn";
  EXPECT_EQ(img.count(isRed), img.count(x0 - 2, y0 - 2, x1 + 2, y1 + 2, isRed))
      << "nothing of the line outside the plot area";
  const double w = x1 - x0;
  // NaN at x = 3: nothing between x = 2.2 and 3.8.
  EXPECT_EQ(img.count(x0 + int(w * 2.2 / 6), y0, x0 + int(w * 3.8 / 6), y1, isRed), 0)
      << "NaN breaks the line";
  // Inf at x = 5: the segments from 4 and to 6 run up to the top edge.
  EXPECT_GT(img.count(x0 + int(w * 4.8 / 6), y0, x0 + int(w * 5.2 / 6), y0 + 6, isRed), 0)
      << "Inf is clipped at the edge";
}

TEST_F(Figures, ImageColoursFollowTheMapAndAllEqualImagesAreDrawn) {
  Image img = rendered("imagesc([1 2; 3 4]); colormap(gray(4))");
  ASSERT_TRUE(img.ok());
  auto [x0, y0, x1, y1] = boxOf(g::childrenOf(g::figures().at(0)).at(0));
  const int qx[2] = {x0 + (x1 - x0) / 4, x0 + 3 * (x1 - x0) / 4};
  const int qy[2] = {y0 + (y1 - y0) / 4, y0 + 3 * (y1 - y0) / 4};
  // Rows from the top (axis ij): value (i, j) = [1 2; 3 4](i, j) takes grey (v - 1) / 3.
  const int expected[2][2] = {{0, 85}, {170, 255}};
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) {
      Pixel p = img.at(qx[j], qy[i]);
      EXPECT_NEAR(p.r, expected[i][j], 1) << "cell " << i + 1 << "," << j + 1;
      EXPECT_EQ(p.r, p.g) << "grey";
    }
  const struct {
    const char *statements;
    std::vector<int> rgb;  // the colour at the centre
  } cases[] = {
      {"imagesc(7 * ones(3, 4)); colormap(gray(3))", {128, 128, 128}},  // the middle colour
      {"imagesc([NaN 1; 2 3]); colormap(hot(2)); caxis([0 1])", {255, 255, 255}},
      {"imagesc([-Inf Inf; Inf Inf]); colormap(gray(2))", {255, 255, 255}},
  };
  for (const auto &c : cases) {
    g::clearAll();
    Image one = rendered(c.statements, "one.png");
    auto [a0, b0, a1, b1] = boxOf(g::childrenOf(g::figures().at(0)).at(0));
    Pixel p = one.at((a0 + a1) / 2 + (a1 - a0) / 4, (b0 + b1) / 2 + (b1 - b0) / 4);
    EXPECT_NEAR(p.r, c.rgb[0], 2) << c.statements;
    EXPECT_NEAR(p.g, c.rgb[1], 2) << c.statements;
    EXPECT_NEAR(p.b, c.rgb[2], 2) << c.statements;
  }
}

TEST_F(Figures, ALargeImageIsResampledToItsPixels) {
  // 12 x 100000 cells: a ramp along the columns, so each device column's colour is the
  // mean of the cells it covers and the colours rise from left to right.
  Image img = rendered("imagesc(ones(12, 1) * (1:100000)); colormap(gray(256))");
  ASSERT_TRUE(img.ok());
  auto [x0, y0, x1, y1] = boxOf(g::childrenOf(g::figures().at(0)).at(0));
  const int y = (y0 + y1) / 2;
  int previous = -1, rises = 0;
  for (int x = x0 + 2; x < x1 - 2; x += 10) {
    int v = img.at(x, y).r;
    EXPECT_GE(v, previous) << "x " << x;
    rises += v > previous;
    previous = v;
  }
  EXPECT_GT(rises, 20);
  EXPECT_NEAR(img.at((x0 + x1) / 2, y).r, 128, 3) << "the middle is the middle grey";
}

TEST_F(Figures, ColorbarShowsTheMapAndSubplotsAreDisjoint) {
  Image img = rendered("imagesc([1 2; 3 4]); colormap(gray(2)); c = colorbar");
  ASSERT_TRUE(img.ok());
  std::array<double, 4> r = g::pixelPosition(numbers("c")[0]);
  const double h = g::pixelPosition(g::figures().at(0))[3];
  const int cx = int(r[0] + r[2] / 2), top = int(h - r[1] - r[3]), bottom = int(h - r[1]);
  EXPECT_GT(img.at(cx, top + 4).r, 250) << "the last colour at the top";
  EXPECT_LT(img.at(cx, bottom - 4).r, 5) << "the first colour at the bottom";
  EXPECT_GT(img.count(int(r[0] + r[2]) + 2, top - 8, int(r[0] + r[2]) + 40, bottom + 8, isDark), 20)
      << "tick labels right of the bar";

  g::clearAll();
  Image two = rendered(
      "subplot(2, 1, 1); plot(1:3, 'r'); a = gca; subplot(2, 1, 2); plot(1:3, 'b'); b = gca",
      "two.png");
  auto ra = boxOf(numbers("a")[0]), rb = boxOf(numbers("b")[0]);
  EXPECT_LT(ra[3], rb[1]) << "the first subplot lies above the second";
  EXPECT_GT(two.count(ra[0], ra[1], ra[2], ra[3], isRed), 50);
  EXPECT_EQ(two.count(ra[0], ra[1], ra[2], ra[3], isBlue), 0) << "blue in the first subplot";
  EXPECT_GT(two.count(rb[0], rb[1], rb[2], rb[3], isBlue), 50);
  EXPECT_EQ(two.count(rb[0], rb[1], rb[2], rb[3], isRed), 0) << "red in the second subplot";
}

TEST_F(Figures, TextStaysInsideTheFigureAndResolutionScales) {
  Image img = rendered(
      "plot(1:3); title('A title much too long for the figure to hold on one line at this "
      "size, which goes on and on and on and on'); ylabel('left'); text(100, 2, 'far right')");
  ASSERT_TRUE(img.ok());
  EXPECT_GT(img.count(0, 0, img.width(), 40, isDark), 100) << "the title is drawn";
  EXPECT_EQ(img.count(0, 0, 1, img.height(), isDark) +
                img.count(img.width() - 1, 0, img.width(), img.height(), isDark) +
                img.count(0, 0, img.width(), 1, isDark),
            0)
      << "nothing touches the figure's edges";
  ASSERT_EQ(run("print('-dpng', '-r192', 'big.png')"), "");
  Image big(dir_ / "big.png");
  EXPECT_EQ(big.width(), 2 * img.width());
  EXPECT_EQ(big.height(), 2 * img.height());
  ASSERT_EQ(run("h = get(gca, 'Children'); saveas(h(1), 'by_line.png')"), "");
  EXPECT_EQ(Image(dir_ / "by_line.png").width(), img.width()) << "a line names its figure";
}

bool haveTool(const char *name) {
  return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

TEST_F(Figures, SvgAndPdfOfImagesLegendsAndColourBarsAreValid) {
  ASSERT_EQ(run("subplot(2, 1, 1); semilogy(1:3, [1 10 100; 2 20 200]'); legend('a', 'b'); "
                "subplot(2, 1, 2); imagesc(reshape(1:120, 12, 10)); colorbar; "
                "print('-dsvg', 'f.svg'); saveas(gcf, 'f', 'pdf')"),
            "");
  const struct {
    const char *tool, *command, *expect;
  } cases[] = {
      {"pdfinfo", "pdfinfo '%s/f.pdf' 2>&1", "560 x 420 pts"},
      {"rsvg-convert", "rsvg-convert -o '%s/f.svg.png' '%s/f.svg' 2>&1 && echo converted",
       "converted"},
  };
  bool any = false;
  for (const auto &c : cases) {
    if (!haveTool(c.tool)) continue;
    any = true;
    std::string command = c.command;
    for (size_t at; (at = command.find("%s")) != std::string::npos;)
      command.replace(at, 2, dir_.string());
    std::string output;
    FILE *p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[256];
    while (fgets(buf, sizeof buf, p)) output += buf;
    EXPECT_EQ(pclose(p), 0) << c.tool << ":\n" << output;
    EXPECT_NE(output.find(c.expect), std::string::npos) << c.tool << ":\n" << output;
  }
  if (!any) GTEST_SKIP() << "neither pdfinfo nor rsvg-convert is installed";
}

}  // namespace
