// The figure renderer: image size, what the pixels show, the three file types, errors, and
// figures with missing, empty or non-finite parts.
#include "host/render.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "mexrt/error.h"
#include "mexrt/graphics.h"
#include "mexrt/mathlib.h"
#include "mexrt/testing.h"
#include "png_image.h"

namespace fs = std::filesystem;
namespace g = mexrt::graphics;

namespace {

// Property values made by a test, freed when it ends.
class Values {
 public:
  ~Values() {
    for (mxArray *a : made_) mxDestroyArray(a);
  }
  mxArray *s(const char *text) { return keep(mxCreateString(text)); }
  mxArray *n(double v) { return keep(mxCreateDoubleScalar(v)); }
  mxArray *row(const std::vector<double> &v) {
    mxArray *a = keep(mxCreateDoubleMatrix(1, v.size(), mxREAL));
    for (size_t i = 0; i < v.size(); ++i) mxGetPr(a)[i] = v[i];
    return a;
  }
  // A char matrix with one text per row, all of the same length.
  mxArray *rows(const std::vector<std::string> &text) {
    const size_t rows = text.size(), cols = text.empty() ? 0 : text[0].size();
    std::vector<mxChar> codes(rows * cols);
    for (size_t r = 0; r < rows; ++r)
      for (size_t c = 0; c < cols; ++c) codes[c * rows + r] = static_cast<mxChar>(text[r][c]);
    return keep(
        mclInitializeCharVector(static_cast<int>(rows), static_cast<int>(cols), codes.data()));
  }

 private:
  mxArray *keep(mxArray *a) {
    made_.push_back(a);
    return a;
  }
  std::vector<mxArray *> made_;
};

double handleOf(mxArray *result) {
  double h = mxGetPr(result)[0];
  mxDestroyArray(result);
  return h;
}

bool isBlue(Pixel p) { return p.b > 180 && p.r < 100 && p.g < 100; }
bool isDark(Pixel p) { return p.r < 80 && p.g < 80 && p.b < 80; }

bool haveTool(const char *name) {
  return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// Figure and axes placed as the mel-scale figure has them: 516 x 520 pixels, the plot area
// from (75, 39) to (465, 350) measured from the top left.
constexpr double kFigPos[] = {0.03359375, 0.0400390625, 0.403125, 0.5078125};
constexpr double kAxesPos[] = {0.145349, 0.326923, 0.755814, 0.598077};
constexpr int kLeft = 75, kRight = 465, kTop = 39, kBottom = 350;

class Render : public ::testing::Test {
 public:
  void SetUp() override {
    g::clearAll();
    dir_ =
        fs::path(::testing::TempDir()) /
        ("render_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
         "_" + std::to_string(::getpid()));  // two suites may run at once on one machine
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    g::clearAll();
    fs::remove_all(dir_);
  }

  double figure() {
    return handleOf(mlfNFigure(1, v.s("Units"), v.s("normalized"), v.s("Color"),
                               v.row({0.8, 0.8, 0.8}), v.s("Position"),
                               v.row({kFigPos[0], kFigPos[1], kFigPos[2], kFigPos[3]}), nullptr));
  }
  double axes(double fig) {
    return handleOf(mlfNAxes(1, v.s("Parent"), v.n(fig), v.s("Box"), v.s("on"), v.s("Color"),
                             v.row({1, 1, 1}), v.s("Position"),
                             v.row({kAxesPos[0], kAxesPos[1], kAxesPos[2], kAxesPos[3]}),
                             v.s("XGrid"), v.s("on"), v.s("YGrid"), v.s("on"), nullptr));
  }
  double line(double ax, const std::vector<double> &x, const std::vector<double> &y) {
    return handleOf(mlfNLine(1, v.s("Parent"), v.n(ax), v.s("Color"), v.row({0, 0, 1}),
                             v.s("LineWidth"), v.n(2), v.s("XData"), v.row(x), v.s("YData"),
                             v.row(y), nullptr));
  }
  void label(double ax, const char *which, const char *text) {
    double t = handleOf(mlfNText(1, v.s("Parent"), v.n(ax), v.s("String"), v.s(text), nullptr));
    mxDestroyArray(mlfNSet(0, v.n(ax), v.s(which), v.n(t), nullptr));
  }
  // The mel-scale figure: the curve, its title and labels, and a caption below.
  double melFigure() {
    double fig = figure(), ax = axes(fig);
    std::vector<double> x, y;
    for (int f = 0; f <= 8000; f += 50) {
      x.push_back(f);
      y.push_back(1127 * std::log(1 + f / 700.0));
    }
    line(ax, x, y);
    label(ax, "Title", "Mel Scale");
    label(ax, "XLabel", "frequency in Hz");
    label(ax, "YLabel", "Mel frequency");
    mxDestroyArray(mlfNUicontrol(
        1, v.s("Parent"), v.n(fig), v.s("Units"), v.s("normalized"), v.s("BackgroundColor"),
        v.row({0.8, 0.8, 0.8}), v.s("Position"), v.row({0.139535, 0.0269231, 0.75, 0.163462}),
        v.s("String"),
        v.s("The mel scale spaces frequencies as the ear hears pitch: nearly linear below "
            "1 kHz and logarithmic above, mel = 1127 ln(1 + f/700)."),
        v.s("Style"), v.s("text"), nullptr));
    return fig;
  }

  Values v;
  fs::path dir_;
};

TEST_F(Render, PngHasTheFigureSizeAndShowsLineBoxAndBackground) {
  const double fig = melFigure();
  const fs::path out = dir_ / "mel.png";
  host::renderFigure(fig, out);
  Image img(out);
  ASSERT_TRUE(img.ok());
  EXPECT_EQ(img.width(), 516);
  EXPECT_EQ(img.height(), 520);

  const Pixel corner = img.at(2, 2);
  EXPECT_TRUE(corner.r == 204 && corner.g == 204 && corner.b == 204) << "figure colour";
  EXPECT_GT(img.count(kLeft, kTop, kRight, kBottom, isBlue), 300) << "the curve is drawn";
  EXPECT_EQ(img.count(0, 0, kLeft - 3, img.height(), isBlue) +
                img.count(kRight + 3, 0, img.width(), img.height(), isBlue),
            0)
      << "nothing of the line outside the plot area";
  const struct {
    const char *edge;
    int x0, y0, x1, y1;
  } edges[] = {{"left", kLeft - 1, kTop, kLeft + 2, kBottom},
               {"right", kRight - 2, kTop, kRight + 1, kBottom},
               {"top", kLeft, kTop - 1, kRight, kTop + 2},
               {"bottom", kLeft, kBottom - 2, kRight, kBottom + 1}};
  for (const auto &e : edges) {
    int length = std::max(e.x1 - e.x0, e.y1 - e.y0);
    EXPECT_GT(img.count(e.x0, e.y0, e.x1, e.y1, isDark), length * 9 / 10) << "box edge " << e.edge;
  }
  EXPECT_GT(img.count(kLeft + 3, kTop + 3, kRight - 3, kBottom - 3,
                      [](Pixel p) { return p.r == 255 && p.g == 255 && p.b == 255; }),
            (kRight - kLeft) * (kBottom - kTop) / 2)
      << "white plot area";
  EXPECT_GT(img.count(0, 0, img.width(), kTop, isDark), 20) << "title above the box";
  EXPECT_GT(img.count(0, 0, kLeft - 3, img.height(), isDark), 100) << "y ticks and label";
  EXPECT_GT(img.count(0, kBottom + 3, img.width(), img.height(), isDark), 200)
      << "x ticks, label and caption";
}

// The limits are rounded out from the data: the curve's highest point sits where the
// rounded upper limit puts it, not at the top of the box.
TEST_F(Render, LimitsAreRoundedFromTheData) {
  const struct {
    const char *name;
    std::vector<double> x, y;
    double topFraction;  // of the plot height, from the bottom, of the highest blue pixel
  } cases[] = {
      {"mel range: 0..2840 within 0..3000", {0, 8000}, {0, 2840}, 2840.0 / 3000},
      {"constant: a unit either side", {0, 10}, {5, 5}, 0.5},
      {"negative and positive: -3..7 within -4..8", {0, 1}, {-3, 7}, 11.0 / 12},
      {"exact round numbers keep their limits", {0, 1}, {0, 1000}, 1.0},
  };
  for (const auto &c : cases) {
    g::clearAll();
    double fig = figure();
    line(axes(fig), c.x, c.y);
    const fs::path out = dir_ / "limits.png";
    host::renderFigure(fig, out);
    Image img(out);
    ASSERT_TRUE(img.ok()) << c.name;
    int top = -1;
    for (int y = kTop - 3; y < kBottom + 3 && top < 0; ++y)
      if (img.count(kLeft + 3, y, kRight - 3, y + 1, isBlue) > 0) top = y;
    const double expected = kBottom - c.topFraction * (kBottom - kTop);
    EXPECT_NEAR(top, expected, 3.5) << c.name;
  }
}

TEST_F(Render, SvgAndPdfAreAcceptedByTheirReaders) {
  const double fig = melFigure();
  const struct {
    const char *tool, *file, *command, *expect;
  } cases[] = {
      {"pdfinfo", "mel.pdf", "pdfinfo '%s' 2>&1", "516 x 520 pts"},
      {"rsvg-convert", "mel.svg", "rsvg-convert -o '%s.png' '%s' 2>&1 && echo converted",
       "converted"},
  };
  for (const auto &c : cases) {
    if (!haveTool(c.tool)) {
      std::cout << "skipped " << c.file << ": " << c.tool << " is not installed\n";
      continue;
    }
    const fs::path out = dir_ / c.file;
    host::renderFigure(fig, out);
    ASSERT_GT(fs::file_size(out), 1000u) << c.file;
    std::string command = c.command;
    for (size_t at; (at = command.find("%s")) != std::string::npos;)
      command.replace(at, 2, out.string());
    std::string output;
    FILE *p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[256];
    while (fgets(buf, sizeof buf, p)) output += buf;
    EXPECT_EQ(pclose(p), 0) << c.tool << " refused " << c.file << ":\n" << output;
    EXPECT_NE(output.find(c.expect), std::string::npos) << c.file << ":\n" << output;
  }
  if (!haveTool("pdfinfo") && !haveTool("rsvg-convert"))
    GTEST_SKIP() << "neither pdfinfo nor rsvg-convert is installed";
}

TEST_F(Render, RefusesBadTargetsWithClearErrors) {
  const double fig = melFigure();
  const double ax = g::childrenOf(fig).at(0);
  const double tiny = handleOf(
      mlfNFigure(1, v.s("Units"), v.s("pixels"), v.s("Position"), v.row({1, 1, 0, 0}), nullptr));
  const struct {
    const char *name;
    double handle;
    fs::path file;
    const char *expect;
  } cases[] = {
      {"unknown extension", fig, dir_ / "fig.bmp", "unknown file type '.bmp'"},
      {"no extension", fig, dir_ / "fig", "unknown file type ''"},
      {"missing folder, png", fig, dir_ / "no" / "fig.png", "Cannot write the figure file"},
      {"missing folder, svg", fig, dir_ / "no" / "fig.svg", "Cannot write the figure file"},
      {"missing folder, pdf", fig, dir_ / "no" / "fig.pdf", "Cannot write the figure file"},
      {"a folder as the file", fig, dir_ / "sub.png", "Cannot write the figure file"},
      {"an axes handle", ax, dir_ / "fig.png", "is not a figure"},
      {"no object", 12345, dir_ / "fig.png", "is not a figure"},
      {"NaN handle", NAN, dir_ / "fig.png", "is not a figure"},
      {"zero size", tiny, dir_ / "fig.png", "no drawable size"},
  };
  fs::create_directories(dir_ / "sub.png");
  for (const auto &c : cases) {
    try {
      host::renderFigure(c.handle, c.file);
      ADD_FAILURE() << c.name << ": no error";
    } catch (const mexrt::Error &e) {
      EXPECT_NE(std::string(e.what()).find(c.expect), std::string::npos)
          << c.name << ": " << e.what();
    }
  }
}

// Figures with missing, empty or degenerate parts still render at their size, and the
// renderer frees every value it reads.
TEST_F(Render, DegenerateFiguresRender) {
  const double inf = INFINITY, nan = NAN;
  const struct {
    const char *name;
    std::function<void(Render &, double)> build;  // given the figure
    bool blue;                                    // some of the line shows
  } cases[] = {
      {"no axes", [](Render &, double) {}, false},
      {"axes without a line", [](Render &t, double f) { t.axes(f); }, false},
      {"empty data", [](Render &t, double f) { t.line(t.axes(f), {}, {}); }, false},
      {"one point", [](Render &t, double f) { t.line(t.axes(f), {1}, {1}); }, false},
      {"constant",
       [](Render &t, double f) {
         t.line(t.axes(f), {0, 1, 2}, {3, 3, 3});
       },
       true},
      {"all x equal",
       [](Render &t, double f) {
         t.line(t.axes(f), {2, 2}, {0, 9});
       },
       true},
      {"NaN breaks the line",
       [=](Render &t, double f) {
         t.line(t.axes(f), {0, 1, 2, 3, 4}, {0, 1, nan, 3, 4});
       },
       true},
      {"Inf among the data",
       [=](Render &t, double f) {
         t.line(t.axes(f), {0, inf, 2, 3}, {-inf, 1, 2, 5});
       },
       true},
      {"only NaN and Inf",
       [=](Render &t, double f) {
         t.line(t.axes(f), {nan, inf}, {1, nan});
       },
       false},
      {"huge range",
       [](Render &t, double f) {
         t.line(t.axes(f), {-1e308, 1e308}, {-1e308, 1e308});
       },
       true},
      {"manual limits far from the data",
       [](Render &t, double f) {
         double ax = t.axes(f);
         t.line(ax, {-1e12, 1e12}, {-1e12, 1e12});
         mxDestroyArray(mlfNSet(0, t.v.n(ax), t.v.s("XLim"), t.v.row({0, 1}), t.v.s("XLimMode"),
                                t.v.s("manual"), t.v.s("YLim"), t.v.row({0, 1}), t.v.s("YLimMode"),
                                t.v.s("manual"), nullptr));
       },
       true},
      {"texts and controls with odd strings",
       [](Render &t, double f) {
         double ax = t.axes(f);
         t.label(ax, "Title", "");
         mxDestroyArray(mlfNText(1, t.v.s("Parent"), t.v.n(ax), t.v.s("Position"),
                                 t.v.row({1e300, -1e300, 0}), t.v.s("String"), t.v.s("far"),
                                 nullptr));
         mxDestroyArray(mlfNUicontrol(1, t.v.s("Parent"), t.v.n(f), t.v.s("Units"),
                                      t.v.s("normalized"), t.v.s("Position"),
                                      t.v.row({0, 0, 0.001, 0.001}), t.v.s("String"),
                                      t.v.s("Averyveryverylongwordthatdoesnotfitanywhere"),
                                      t.v.s("Style"), t.v.s("text"), nullptr));
       },
       false},
  };
  for (const auto &c : cases) {
    g::clearAll();
    double fig = figure();
    c.build(*this, fig);
    const size_t live = mexrtLiveArrayCount();
    const fs::path out = dir_ / "degenerate.png";
    ASSERT_NO_THROW(host::renderFigure(fig, out)) << c.name;
    EXPECT_EQ(mexrtLiveArrayCount(), live) << c.name << ": arrays left behind";
    Image img(out);
    ASSERT_TRUE(img.ok()) << c.name;
    EXPECT_EQ(img.width(), 516) << c.name;
    EXPECT_EQ(img.count(isBlue) > 0, c.blue) << c.name;
    EXPECT_EQ(img.count(isBlue) - img.count(kLeft - 3, kTop - 3, kRight + 3, kBottom + 3, isBlue),
              0)
        << c.name << ": line drawn outside the plot area";
  }
}

// A static-text control fills its box with its background and shows each row of its
// string; a free text shows at its data position.
TEST_F(Render, ControlsAndFreeTextsAreDrawnWherePlaced) {
  const double fig = figure();
  const double ax = axes(fig);
  line(ax, {0, 10}, {0, 10});
  mxDestroyArray(mlfNText(1, v.s("Parent"), v.n(ax), v.s("Position"), v.row({5, 5, 0}),
                          v.s("String"), v.s("XXXX"), v.s("HorizontalAlignment"), v.s("center"),
                          v.s("VerticalAlignment"), v.s("middle"), v.s("FontSize"), v.n(20),
                          nullptr));
  mxDestroyArray(mlfNUicontrol(
      1, v.s("Parent"), v.n(fig), v.s("Units"), v.s("normalized"), v.s("Position"),
      v.row({0.1, 0.02, 0.8, 0.2}), v.s("BackgroundColor"), v.row({1, 0.5, 0}), v.s("String"),
      v.rows({"first row ", "second row"}), v.s("Style"), v.s("text"), nullptr));
  const fs::path out = dir_ / "control.png";
  host::renderFigure(fig, out);
  Image img(out);
  ASSERT_TRUE(img.ok());
  // The control: x 52..464, y from the top 406..509; rows of about 12 pixels.
  auto orange = [](Pixel p) { return p.r > 240 && p.g > 110 && p.g < 145 && p.b < 20; };
  EXPECT_GT(img.count(52, 406, 464, 509, orange), 412 * 103 * 3 / 4) << "background";
  EXPECT_EQ(img.count(0, 0, 50, 520, orange), 0) << "nothing left of the control";
  const int firstRow = img.count(52, 406, 464, 419, isDark);
  const int secondRow = img.count(52, 421, 464, 433, isDark);
  EXPECT_GT(firstRow, 20) << "first row of the string";
  EXPECT_GT(secondRow, 20) << "second row of the string";
  // The text at (5, 5): the middle of the plot area.
  const int cx = (kLeft + kRight) / 2, cy = (kTop + kBottom) / 2;
  EXPECT_GT(img.count(cx - 30, cy - 12, cx + 30, cy + 12, isDark), 60) << "free text";
}

TEST_F(Render, AllFiguresAreWrittenByHandle) {
  melFigure();
  figure();
  const std::vector<fs::path> files = host::renderAllFigures(dir_ / "figs");
  const std::vector<double> figs = g::figures();
  ASSERT_EQ(files.size(), 2u);
  ASSERT_EQ(figs.size(), 2u);
  for (size_t i = 0; i < 2; ++i)
    EXPECT_EQ(files[i], dir_ / "figs" / ("figure" + std::to_string(int(figs[i])) + ".png"));
  for (const fs::path &f : files) EXPECT_TRUE(Image(f).ok()) << f;
}

}  // namespace
