// The graphics store through its C operations and its read side: handles, defaults,
// links, label attachment, units, ownership, and the errors of bad calls.
#include "mexrt/graphics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "mexrt/error.h"
#include "mexrt/mathlib.h"
#include "mexrt/testing.h"

namespace {

namespace g = mexrt::graphics;

mxArray *tmp(mxArray *owned) { return mlfReturnValue(owned); }
mxArray *str(const char *s) { return tmp(mxCreateString(s)); }
mxArray *num(double v) { return tmp(mxCreateDoubleScalar(v)); }
mxArray *vec(std::vector<double> v, std::size_t rows = 1) {
  mxArray *a = mxCreateDoubleMatrix(rows, v.size() / rows, mxREAL);
  for (std::size_t k = 0; k < v.size(); ++k) mxGetPr(a)[k] = v[k];
  return tmp(a);
}

// Takes a handle result over as a double.
double handle(mxArray *h) {
  double v = mxGetPr(h)[0];
  mxDestroyArray(h);
  return v;
}

std::vector<double> numbers(double h, const char *name) {
  mxArray *a = g::property(h, name);
  std::vector<double> v(mxGetPr(a), mxGetPr(a) + mxGetNumberOfElements(a));
  mxDestroyArray(a);
  return v;
}

std::string text(double h, const char *name) {
  mxArray *a = g::property(h, name);
  char *s = mxArrayToString(a);
  std::string out = s ? s : "";
  mxFree(s);
  mxDestroyArray(a);
  return out;
}

class Graphics : public ::testing::Test {
 protected:
  void SetUp() override {
    g::clearAll();
    live_ = mexrtLiveArrayCount();
  }
  void TearDown() override {
    g::clearAll();
    EXPECT_EQ(mexrtLiveArrayCount(), live_) << "the store and the calls leave nothing behind";
  }
  std::size_t live_ = 0;
};

TEST_F(Graphics, FiguresAreNumberedAndOtherHandlesAreNotWholeNumbers) {
  double f1 = handle(mlfNFigure(1, nullptr));
  double f2 = handle(mlfNFigure(1, nullptr));
  double ax = handle(mlfNAxes(1, str("Parent"), num(f1), nullptr));
  double ln = handle(mlfNLine(1, str("Parent"), num(ax), nullptr));
  EXPECT_EQ(f1, 1);
  EXPECT_EQ(f2, 2);
  for (double h : {ax, ln}) EXPECT_NE(h, std::floor(h)) << h;
  EXPECT_NE(ax, ln);
  EXPECT_EQ(g::figures(), (std::vector<double>{1, 2}));
  EXPECT_EQ(g::typeName(ln), "line");
  g::clearAll();
  EXPECT_EQ(handle(mlfNFigure(1, nullptr)), 1) << "numbering starts again on an empty store";
}

TEST_F(Graphics, PropertiesNotGivenHaveDefaults) {
  double fig = handle(mlfNFigure(1, nullptr));
  double ax = handle(mlfNAxes(1, str("Parent"), num(fig), nullptr));
  double ln = handle(mlfNLine(1, str("Parent"), num(ax), nullptr));
  double tx = handle(mlfNText(1, str("Parent"), num(ax), nullptr));
  double ui = handle(mlfNUicontrol(1, str("Parent"), num(fig), nullptr));
  const struct {
    double h;
    const char *name;
    std::vector<double> expected;
  } nums[] = {{fig, "Color", {0.8, 0.8, 0.8}},
              {ax, "Position", {0.13, 0.11, 0.775, 0.815}},
              {ax, "XLim", {0, 1}},
              {ln, "Color", {0, 0, 1}},
              {ln, "LineWidth", {0.5}},
              {tx, "FontSize", {10}},
              {tx, "Position", {0, 0, 0}},
              {ui, "BackgroundColor", {0.8, 0.8, 0.8}},
              {ax, "Title", {}},
              {fig, "Parent", {0}}};
  for (const auto &c : nums)
    EXPECT_EQ(numbers(c.h, c.name), c.expected) << g::typeName(c.h) << " " << c.name;
  const struct {
    double h;
    const char *name, *expected;
  } texts[] = {{tx, "Visible", "on"},       {tx, "String", ""},
               {ax, "XLimMode", "auto"},    {fig, "Units", "pixels"},
               {ui, "Style", "pushbutton"}, {ln, "Type", "line"},
               {ax, "Box", "off"},          {fig, "Tag", ""}};
  for (const auto &c : texts)
    EXPECT_EQ(text(c.h, c.name), c.expected) << g::typeName(c.h) << " " << c.name;
  EXPECT_EQ(numbers(fig, "Colormap").size(), 64u * 3u);
}

TEST_F(Graphics, NamesAndWordsMatchInAnyCase) {
  double fig =
      handle(mlfNFigure(1, str("COLOR"), vec({1, 0, 0}), str("units"), str("NORMALIZED"), nullptr));
  EXPECT_EQ(numbers(fig, "color"), (std::vector<double>{1, 0, 0}));
  EXPECT_EQ(text(fig, "Units"), "normalized") << "a word is kept as the class spells it";
  mxArray *r = mlfNSet(0, num(fig), str("tAg"), str("Fig1"), nullptr);
  EXPECT_EQ(r, nullptr) << "set with no requested output gives nothing";
  mxArray *tag = mlfNGet(1, num(fig), str("TAG"), nullptr);
  char *s = mxArrayToString(tag);
  EXPECT_STREQ(s, "Fig1");
  mxFree(s);
  mxDestroyArray(tag);
}

TEST_F(Graphics, ParentsAndChildrenAreLinked) {
  double fig = handle(mlfNFigure(1, nullptr));
  double ax = handle(mlfNAxes(1, str("Parent"), num(fig), nullptr));
  double ln = handle(mlfNLine(1, str("Parent"), num(ax), nullptr));
  double tx = handle(mlfNText(1, str("Parent"), num(ax), nullptr));
  double ui = handle(mlfNUicontrol(1, str("Parent"), num(fig), nullptr));
  EXPECT_EQ(g::childrenOf(fig), (std::vector<double>{ax, ui}));
  EXPECT_EQ(g::childrenOf(ax), (std::vector<double>{ln, tx}));
  EXPECT_EQ(g::parentOf(ln), ax);
  EXPECT_EQ(handle(mlfNGet(1, num(ln), str("Parent"), nullptr)), ax);
  EXPECT_EQ(numbers(ax, "Children"), (std::vector<double>{tx, ln}))
      << "newest first, as get lists them";

  // Without a Parent an object goes to the current figure, or to its newest axes.
  double ln2 = handle(mlfNLine(1, nullptr));
  EXPECT_EQ(g::parentOf(ln2), ax);
  double ax2 = handle(mlfNAxes(1, str("Parent"), num(fig), nullptr));
  mlfNSet(0, num(ln2), str("Parent"), num(ax2), nullptr);
  EXPECT_EQ(g::childrenOf(ax), (std::vector<double>{ln, tx}));
  EXPECT_EQ(g::childrenOf(ax2), (std::vector<double>{ln2}));
}

TEST_F(Graphics, SettingALabelAttachesTheText) {
  double fig = handle(mlfNFigure(1, nullptr));
  double a = handle(mlfNAxes(1, str("Parent"), num(fig), nullptr));
  double b = handle(mlfNAxes(1, str("Parent"), num(fig), nullptr));
  double t = handle(mlfNText(1, str("Parent"), num(a), str("String"), str("Mel Scale"), nullptr));
  mlfNSet(0, num(a), str("Title"), num(t), nullptr);
  EXPECT_EQ(numbers(a, "Title"), std::vector<double>{t});
  EXPECT_EQ(g::childrenOf(a), std::vector<double>{t}) << "the title stays a child of its axes";

  mlfNSet(0, num(a), str("XLabel"), num(t), nullptr);
  EXPECT_EQ(numbers(a, "XLabel"), std::vector<double>{t});
  EXPECT_TRUE(numbers(a, "Title").empty()) << "one text serves one role";

  mlfNSet(0, num(b), str("ylabel"), num(t), nullptr);
  EXPECT_EQ(g::parentOf(t), b) << "a text made another axes' label moves there";
  EXPECT_TRUE(g::childrenOf(a).empty());
  EXPECT_TRUE(numbers(a, "XLabel").empty()) << "the old axes lets the text go";
  EXPECT_EQ(numbers(b, "YLabel"), std::vector<double>{t});
}

TEST_F(Graphics, PositionsFollowTheirUnits) {
  double fig = handle(mlfNFigure(1, str("Units"), str("normalized"), nullptr));
  EXPECT_EQ(numbers(fig, "Position"),
            (std::vector<double>{100.0 / 1280, 100.0 / 1024, 560.0 / 1280, 420.0 / 1024}))
      << "the default position shown in normalized units";
  mlfNSet(0, num(fig), str("Position"), vec({0.1, 0.1, 0.5, 0.5}), nullptr);
  EXPECT_EQ(g::pixelPosition(fig), (std::array<double, 4>{128, 102.4, 640, 512}));
  mlfNSet(0, num(fig), str("Units"), str("pixels"), nullptr);
  EXPECT_EQ(numbers(fig, "Position"), (std::vector<double>{128, 102.4, 640, 512}))
      << "the figure keeps its place";
  double ax = handle(
      mlfNAxes(1, str("Parent"), num(fig), str("Position"), vec({0.5, 0.5, 0.5, 0.25}), nullptr));
  EXPECT_EQ(g::pixelPosition(ax), (std::array<double, 4>{320, 256, 320, 128}))
      << "within its figure";
  mlfNSet(0, num(ax), str("XLim"), vec({0, 8000}), nullptr);
  EXPECT_EQ(text(ax, "XLimMode"), "manual") << "a limit set is a limit fixed";
}

TEST_F(Graphics, StoredValuesAreSharedCopiesAndTemporariesAreReclaimed) {
  mxArray *x = vec({1, 2, 3});
  mlfAssign(&x, x);  // kept: an owned variable, as a body holds it
  double fig = handle(mlfNFigure(1, nullptr));
  double ax = handle(mlfNAxes(1, str("Parent"), num(fig), nullptr));
  std::size_t live = mexrtLiveArrayCount();
  double ln = handle(
      mlfNLine(1, str("Parent"), num(ax), str("XData"), x, str("YData"), vec({4, 5, 6}), nullptr));
  EXPECT_EQ(mexrtLiveArrayCount(), live + 2) << "only the two stored values remain";
  mxGetPr(x)[0] = 99;  // the variable's write does not reach the stored copy
  EXPECT_EQ(numbers(ln, "XData"), (std::vector<double>{1, 2, 3}));
  mxDestroyArray(x);
}

TEST_F(Graphics, BadCallsAreClearErrorsAndChangeNothing) {
  double fig = handle(mlfNFigure(1, str("Tag"), str("keep"), nullptr));
  double ax = handle(mlfNAxes(1, str("Parent"), num(fig), nullptr));
  double ln = handle(mlfNLine(1, str("Parent"), num(ax), str("XData"), vec({1, 2}), str("YData"),
                              vec({3, 4}), nullptr));
  const struct {
    const char *what;
    std::function<mxArray *()> call;
    const char *expected;
  } cases[] = {
      {"unknown property",
       [&] {
         return mlfNFigure(1, str("Colour"), vec({0, 0, 0}), nullptr);
       },
       "There is no \"Colour\" property of the figure class."},
      {"colour of 2x2",
       [&] {
         return mlfNSet(0, num(fig), str("Color"), vec({0, 0, 0, 0}, 2), nullptr);
       },
       "Bad value for figure property \"Color\": expected a 1x3 vector of numbers in [0, 1], got a "
       "2x2 double array."},
      {"colour above 1",
       [&] {
         return mlfNSet(0, num(fig), str("Color"), vec({0, 2, 0}), nullptr);
       },
       "property \"Color\": expected a 1x3"},
      {"colour as text", [&] { return mlfNSet(0, num(ax), str("Color"), str("red"), nullptr); },
       "got a 1x3 char array"},
      {"position of three",
       [&] {
         return mlfNSet(0, num(fig), str("Position"), vec({1, 2, 3}), nullptr);
       },
       "property \"Position\": expected a 1x4 vector"},
      {"colormap not m x 3",
       [&] {
         return mlfNSet(0, num(fig), str("Colormap"), vec({0, 0}), nullptr);
       },
       "expected an m x 3 matrix"},
      {"data of unequal length",
       [&] {
         return mlfNSet(0, num(ln), str("XData"), vec({1, 2, 3}), nullptr);
       },
       "line: XData and YData must have the same length (3 and 2)."},
      {"data as a matrix",
       [&] {
         return mlfNSet(0, num(ln), str("YData"), vec({1, 2, 3, 4}, 2), nullptr);
       },
       "expected a numeric vector"},
      {"word not in the list",
       [&] { return mlfNSet(0, num(ax), str("Box"), str("maybe"), nullptr); },
       "\"maybe\" is not one of \"off\", \"on\"."},
      {"no object", [&] { return mlfNGet(1, num(3.5), str("Color"), nullptr); },
       "Invalid handle: 3.5 is not a graphics object."},
      {"set on no object",
       [&] {
         return mlfNSet(0, num(7), str("Color"), vec({0, 0, 0}), nullptr);
       },
       "Invalid handle: 7 is not a graphics object."},
      {"handle not scalar",
       [&] {
         return mlfNGet(1, vec({1, 1}), str("Color"), nullptr);
       },
       "get: a handle must be a scalar double, not a 1x2 double array."},
      {"absent handle", [&] { return mlfNGet(1, nullptr, str("Color"), nullptr); },
       "an operand is missing"},
      {"uninitialised value",
       [&] { return mlfNSet(0, num(fig), str("Tag"), mclGetUninitializedArray(), nullptr); },
       "uninitialised"},
      {"odd pairs", [&] { return mlfNSet(0, num(fig), str("Color"), nullptr); },
       "must come in pairs"},
      {"name not text", [&] { return mlfNSet(0, num(fig), num(1), num(1), nullptr); },
       "a property name must be text"},
      {"line in a figure", [&] { return mlfNLine(1, str("Parent"), num(fig), nullptr); },
       "The parent of a line must be an axes; 1 is a figure."},
      {"label not a text", [&] { return mlfNSet(0, num(ax), str("Title"), num(ln), nullptr); },
       "must be the handle of a text object"},
      {"read-only type", [&] { return mlfNSet(0, num(ln), str("Type"), str("text"), nullptr); },
       "is read-only"},
      {"get without a name", [&] { return mlfNGet(1, num(fig), nullptr); },
       "give one property name"},
  };
  std::size_t live = mexrtLiveArrayCount();
  for (const auto &c : cases) {
    try {
      mxDestroyArray(c.call());
      ADD_FAILURE() << c.what << ": no error";
    } catch (const mexrt::Error &e) {
      EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos)
          << c.what << ": " << e.what();
    }
    EXPECT_EQ(mexrtLiveArrayCount(), live) << c.what << ": temporaries reclaimed, nothing stored";
  }
  EXPECT_EQ(g::figures(), std::vector<double>{fig}) << "no failed creation left an object";
  EXPECT_EQ(text(fig, "Tag"), "keep");
  EXPECT_EQ(numbers(fig, "Color"), (std::vector<double>{0.8, 0.8, 0.8}));
  EXPECT_EQ(numbers(ln, "XData"), (std::vector<double>{1, 2}));
  EXPECT_THROW(g::typeOf(42), mexrt::Error);
  EXPECT_THROW(mxDestroyArray(g::property(fig, "Nope")), mexrt::Error);
}

TEST_F(Graphics, ARefusedPairLeavesTheEarlierPairsOfTheCallUnapplied) {
  double fig = handle(mlfNFigure(1, nullptr));
  EXPECT_THROW(mlfNSet(0, num(fig), str("Tag"), str("new"), str("Color"), vec({5, 5, 5}), nullptr),
               mexrt::Error);
  EXPECT_EQ(text(fig, "Tag"), "");
}

}  // namespace

namespace {

// Objects made through the C++ side with name/value pairs of new arrays, freed here.
double make(g::Type type, std::vector<std::pair<const char *, mxArray *>> pairs) {
  std::vector<mxArray *> list;
  for (auto &[name, value] : pairs) {
    list.push_back(mxCreateString(name));
    list.push_back(value);
  }
  struct Free {
    std::vector<mxArray *> &list;
    ~Free() {
      for (mxArray *a : list) mxDestroyArray(a);
    }
  } free{list};
  return g::create(type, list);
}
mxArray *own(std::vector<double> v, std::size_t rows = 1) {
  mxArray *a = mxCreateDoubleMatrix(rows, v.size() / rows, mxREAL);
  for (std::size_t k = 0; k < v.size(); ++k) mxGetPr(a)[k] = v[k];
  return a;
}

}  // namespace

TEST_F(Graphics, RemovingAnObjectTakesItsTreeAndTheAxesDependents) {
  double f1 = make(g::Type::Figure, {});
  double f2 = make(g::Type::Figure, {});
  double ax = make(g::Type::Axes, {{"Parent", mxCreateDoubleScalar(f1)}});
  double ln = make(g::Type::Line, {{"Parent", mxCreateDoubleScalar(ax)}});
  double lg = make(g::Type::Legend,
                   {{"Parent", mxCreateDoubleScalar(f1)}, {"Axes", mxCreateDoubleScalar(ax)}});
  double cb = make(g::Type::Colorbar,
                   {{"Parent", mxCreateDoubleScalar(f1)}, {"Axes", mxCreateDoubleScalar(ax)}});
  EXPECT_EQ(g::currentFigure(), f2);
  g::remove(ax);
  for (double h : {ax, ln, lg, cb}) EXPECT_FALSE(g::isObject(h)) << g::isObject(h);
  EXPECT_TRUE(g::childrenOf(f1).empty());
  g::remove(f2);
  EXPECT_EQ(g::currentFigure(), f1) << "the newest figure left becomes current";
  EXPECT_EQ(g::figures(), std::vector<double>{f1});
  EXPECT_THROW(g::remove(f2), mexrt::Error);
  EXPECT_EQ(g::createFigure(7, {}), 7);
  EXPECT_THROW(g::createFigure(7, {}), mexrt::Error) << "a handle in use";
  EXPECT_THROW(g::createFigure(0.5, {}), mexrt::Error);
  EXPECT_THROW(make(g::Type::Legend, {{"Axes", mxCreateDoubleScalar(f1)}}), mexrt::Error)
      << "a legend's Axes must be an axes";
}

TEST_F(Graphics, CurrentAxesIsTheNewestOrTheOneNamed) {
  double fig = make(g::Type::Figure, {});
  EXPECT_TRUE(numbers(fig, "CurrentAxes").empty());
  double a1 = make(g::Type::Axes, {{"Parent", mxCreateDoubleScalar(fig)}});
  double a2 = make(g::Type::Axes, {{"Parent", mxCreateDoubleScalar(fig)}});
  EXPECT_EQ(numbers(fig, "CurrentAxes"), std::vector<double>{a2});
  g::set(fig, {str("CurrentAxes"), num(a1)});
  EXPECT_EQ(numbers(fig, "CurrentAxes"), std::vector<double>{a1});
  double ln = make(g::Type::Line, {});
  EXPECT_EQ(g::parentOf(ln), a1) << "new objects go into the current axes";
  g::remove(a1);
  EXPECT_EQ(numbers(fig, "CurrentAxes"), std::vector<double>{a2});
}

TEST_F(Graphics, ImagesHaveExtentsAndColourLimitsFromTheirData) {
  double ax = make(g::Type::Axes, {});
  double img = make(g::Type::Image, {{"Parent", mxCreateDoubleScalar(ax)},
                                     {"CData", own({1, 2, 3, 4, NAN, 9}, 2)}});
  EXPECT_EQ(numbers(img, "XData"), (std::vector<double>{1, 3})) << "1 to the columns";
  EXPECT_EQ(numbers(img, "YData"), (std::vector<double>{1, 2})) << "1 to the rows";
  EXPECT_EQ(numbers(ax, "CLim"), (std::vector<double>{1, 9})) << "NaN left out";
  g::Range x = g::dataRange(ax, 0, false), y = g::dataRange(ax, 1, false);
  EXPECT_EQ((std::vector<double>{x.lo, x.hi, y.lo, y.hi}),
            (std::vector<double>{0.5, 3.5, 0.5, 2.5}));
  make(g::Type::Line, {{"Parent", mxCreateDoubleScalar(ax)},
                       {"XData", own({-1, 10, 20})},
                       {"YData", own({-5, 3, INFINITY})}});
  x = g::dataRange(ax, 0, true), y = g::dataRange(ax, 1, false);
  EXPECT_EQ((std::vector<double>{x.lo, x.hi}), (std::vector<double>{0.5, 10}))
      << "a log axis counts positive values only, a point with an infinite y none";
  EXPECT_EQ((std::vector<double>{y.lo, y.hi}), (std::vector<double>{-5, 3})) << "Inf has no extent";
  g::set(img, {str("CData"), num(4)});
  EXPECT_EQ(numbers(ax, "CLim"), (std::vector<double>{3, 5})) << "one value: a range about it";
  g::set(ax, {str("CLim"), vec({0, 2})});
  EXPECT_EQ(text(ax, "CLimMode"), "manual");
  g::resetProperties(ax, {});
  EXPECT_EQ(text(ax, "CLimMode"), "auto") << "reset forgets what was set";
}

TEST_F(Graphics, NamedColourMapsSpanTheirRange) {
  const struct {
    const char *name;
    std::vector<double> first, last;
  } cases[] = {{"gray", {0, 0, 0}, {1, 1, 1}},
               {"hot", {0, 0, 0}, {1, 1, 1}},
               {"viridis", {0.267, 0.004, 0.329}, {0.992, 0.906, 0.145}}};
  for (const auto &c : cases) {
    std::vector<double> m = g::colormap(c.name, 5);
    ASSERT_EQ(m.size(), 15u) << c.name;
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(m[i * 5], c.first[i], 0.01) << c.name << " first, channel " << i;
      EXPECT_NEAR(m[i * 5 + 4], c.last[i], 0.01) << c.name << " last, channel " << i;
    }
  }
  std::vector<double> v = g::colormap("viridis", 64);
  for (std::size_t k = 1; k < 64; ++k) {
    // Lightness rises along the perceptual map (a luma of the sRGB values stands for it).
    double before = 0.3 * v[k - 1] + 0.59 * v[64 + k - 1] + 0.11 * v[128 + k - 1];
    double after = 0.3 * v[k] + 0.59 * v[64 + k] + 0.11 * v[128 + k];
    EXPECT_GT(after, before) << "step " << k;
  }
  EXPECT_THROW(g::colormap("nosuch", 4), mexrt::Error);
}
