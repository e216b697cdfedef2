// tonegrid called through its entries: the figure it builds, its data file and its failures.
#include "tonegrid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "array_test_support.h"
#include "mexrt/error.h"
#include "mexrt/graphics.h"
#include "mexrt/matfile.h"
#include "mexrt/testing.h"

namespace {

namespace g = mexrt::graphics;
namespace fs = std::filesystem;

using mexrt::test::Var;

// The value of a property, freed on leaving.
struct Prop : Var {
  Prop(double h, const char *name) : Var(g::property(h, name)) {}
  std::string text() const { return mexrt::test::textOf(get()); }
  std::vector<double> numbers() const { return mexrt::test::valuesOf(get()); }
  double number() const { return numbers().at(0); }
};

// A variable of the data file, loaded as the body loads it.
std::vector<double> fileNumbers(const char *name) {
  Var file(mxCreateString("tonegrid")), v;
  mclLoadConditional(file.get(), name, v.addr(), nullptr);
  return mexrt::test::valuesOf(v.get());
}

std::vector<double> ofType(double parent, g::Type t) {
  std::vector<double> out;
  for (double c : g::childrenOf(parent)) {
    if (g::typeOf(c) == t) out.push_back(c);
  }
  return out;
}

// The graphics store empty and the data file found around each test; what the store held
// is freed before the check for arrays left behind.
class Tonegrid
    : public mexrt::test::ModuleTest<InitializeModule_tonegrid, TerminateModule_tonegrid> {
 protected:
  void SetUp() override {
    g::clearAll();
    mexrt::matfile::setLoadPath({TONEGRID_MODULE_DIR});
    ModuleTest::SetUp();
  }
  void TearDown() override {
    g::clearAll();
    ModuleTest::TearDown();
    mexrt::matfile::setLoadPath({});
  }
  void useVariant(const std::string &v) {
    mexrt::matfile::setLoadPath({std::string(TONEGRID_TESTDATA_DIR) + "/" + v});
  }
};

TEST_F(Tonegrid, OneOutputGivesTheLabelledFigure) {
  mxArray *fig = mlfTonegrid();
  ASSERT_EQ(mxGetClassID(fig), mxDOUBLE_CLASS);
  double h = mxGetPr(fig)[0];
  mxDestroyArray(fig);
  ASSERT_EQ(g::figures(), std::vector<double>{h});
  EXPECT_EQ(h, 1.0);

  std::vector<double> kids = g::childrenOf(h);
  ASSERT_EQ(kids.size(), 2u);
  double axes = kids[0], control = kids[1];
  EXPECT_EQ(g::typeOf(axes), g::Type::Axes);
  EXPECT_EQ(g::typeOf(control), g::Type::Uicontrol);
  EXPECT_EQ(g::parentOf(control), h) << "the control belongs to the figure, not the axes";

  std::vector<double> inAxes = g::childrenOf(axes);
  ASSERT_EQ(inAxes.size(), 5u);
  double line = inAxes[0];
  EXPECT_EQ(g::typeOf(line), g::Type::Line);
  EXPECT_EQ(ofType(axes, g::Type::Text).size(), 4u);

  const struct {
    const char *role, *string, *tag;
  } labels[] = {{"Title", "Mel Scale", "Axes1Text4"},
                {"XLabel", "frequency in Hz", "Axes1Text3"},
                {"YLabel", "Mel frequency", "Axes1Text2"},
                {"ZLabel", "", "Axes1Text1"}};
  for (const auto &l : labels) {
    double t = Prop(axes, l.role).number();
    ASSERT_TRUE(g::isObject(t)) << l.role;
    EXPECT_EQ(g::parentOf(t), axes) << l.role;
    EXPECT_EQ(Prop(t, "String").text(), l.string) << l.role;
    EXPECT_EQ(Prop(t, "Tag").text(), l.tag) << l.role;
    EXPECT_EQ(Prop(t, "Visible").text(), std::string(l.role) == "ZLabel" ? "off" : "on") << l.role;
  }

  const struct {
    double handle;
    const char *tag;
  } tags[] = {{h, "Fig1"}, {axes, "Axes1"}, {line, "Axes1Line1"}, {control, "StaticText1"}};
  for (const auto &t : tags) EXPECT_EQ(Prop(t.handle, "Tag").text(), t.tag);

  EXPECT_EQ(Prop(line, "XData").numbers(), fileNumbers("mat3"));
  EXPECT_EQ(Prop(line, "YData").numbers(), fileNumbers("mat4"));
  EXPECT_EQ(Prop(control, "Style").text(), "text");
  EXPECT_NE(Prop(control, "String").text().find("mel"), std::string::npos);
  EXPECT_EQ(Prop(h, "Units").text(), "normalized");
  EXPECT_EQ(Prop(axes, "ColorOrder").numbers(), fileNumbers("mat2"));
}

TEST_F(Tonegrid, TheDataFileHoldsTheMelCurve) {
  std::vector<double> f = fileNumbers("mat3"), m = fileNumbers("mat4");
  ASSERT_EQ(f.size(), m.size());
  ASSERT_GE(f.size(), 100u) << "fine enough for a smooth curve";
  EXPECT_EQ(f.front(), 0.0);
  EXPECT_EQ(f.back(), 8000.0);
  for (std::size_t k = 0; k < f.size(); ++k) {
    EXPECT_NEAR(m[k], 1127.0 * std::log(1.0 + f[k] / 700.0), 1e-9) << "f = " << f[k];
  }
  const struct {
    const char *name;
    std::size_t count;
  } sizes[] = {{"mat1", 256}, {"mat0", 0}, {"mat2", 0}};
  for (const auto &s : sizes) {
    std::vector<double> v = fileNumbers(s.name);
    if (s.count)
      EXPECT_EQ(v.size(), s.count) << s.name;
    else
      EXPECT_EQ(v.size() % 3, 0u) << s.name << " is m x 3";
  }
}

TEST_F(Tonegrid, NoRequestedOutputStillBuildsTheFigure) {
  const struct {
    const char *how;
    const char *variant;  // nullptr: the installed data file
    int nlhs;
    double expected;  // NaN: the uninitialised value
  } cases[] = {
      {"mlx with nlhs 0", nullptr, 0, NAN},
      {"mlx with nlhs 0, file holding fig", "extra", 0, -42},
      {"mlx with nlhs 1, file holding fig", "extra", 1, 0},  // 0: the new figure's handle
      {"mlfNTonegrid(0)", nullptr, -1, NAN},
  };
  for (const auto &c : cases) {
    if (c.variant)
      useVariant(c.variant);
    else
      mexrt::matfile::setLoadPath({TONEGRID_MODULE_DIR});
    std::size_t before = g::figures().size();
    mxArray *plhs[1] = {nullptr};
    if (c.nlhs >= 0) {
      mlxTonegrid(c.nlhs, plhs, 0, nullptr);
    } else {
      mlfVTonegrid();  // builds the same figure and frees the result
      plhs[0] = mlfNTonegrid(0);
    }
    ASSERT_NE(plhs[0], nullptr) << c.how;
    std::vector<double> figs = g::figures();
    ASSERT_EQ(figs.size(), before + (c.nlhs >= 0 ? 1 : 2)) << c.how;
    double newest = figs.back();
    EXPECT_EQ(g::childrenOf(newest).size(), 2u) << c.how;
    EXPECT_EQ(g::childrenOf(g::childrenOf(newest)[0]).size(), 5u) << c.how;
    if (std::isnan(c.expected)) {
      EXPECT_EQ(mxGetClassID(plhs[0]), mxUNKNOWN_CLASS) << c.how;
    } else {
      ASSERT_EQ(mxGetClassID(plhs[0]), mxDOUBLE_CLASS) << c.how;
      EXPECT_EQ(mxGetPr(plhs[0])[0], c.expected == 0 ? newest : c.expected) << c.how;
    }
    mxDestroyArray(plhs[0]);
  }
}

TEST_F(Tonegrid, EachCallMakesItsOwnFigure) {
  mxArray *a = mlfTonegrid();
  mxArray *b = mlfTonegrid();
  EXPECT_EQ(mxGetPr(a)[0], 1.0);
  EXPECT_EQ(mxGetPr(b)[0], 2.0);
  EXPECT_NE(g::childrenOf(1)[0], g::childrenOf(2)[0]) << "separate axes";
  mxDestroyArray(a);
  mxDestroyArray(b);
}

TEST_F(Tonegrid, CountErrorsComeFirstAndDrawNothing) {
  const std::string head =
      "Run-time Error: File: tonegrid Line: 1 Column: 1 The function \"tonegrid\" "
      "was called with more than the declared number of ";
  const struct {
    int nlhs, nrhs;
    std::string message;
  } cases[] = {{2, 0, head + "outputs (1)."},
               {1, 1, head + "inputs (0)."},
               {2, 1, head + "outputs (1)."},
               {0, 3, head + "inputs (0)."}};
  mxArray *x = mxCreateDoubleScalar(1);
  for (const auto &c : cases) {
    mxArray *plhs[2] = {nullptr, nullptr};
    mxArray *prhs[3] = {x, x, x};
    try {
      mlxTonegrid(c.nlhs, plhs, c.nrhs, prhs);
      ADD_FAILURE() << c.nlhs << " outputs, " << c.nrhs << " inputs accepted";
    } catch (const mexrt::Error &e) {
      EXPECT_EQ(e.what(), c.message) << c.nlhs << " outputs, " << c.nrhs << " inputs";
    }
    EXPECT_EQ(plhs[0], nullptr);
    EXPECT_TRUE(g::figures().empty()) << "nothing drawn";
  }
  mxDestroyArray(x);
}

TEST_F(Tonegrid, AMissingVariableStopsTheCallWhereItIsRead) {
  const struct {
    const char *missing;
    std::size_t figures, figureChildren, axesChildren;
    bool titled;
  } cases[] = {{"mat0", 0, 0, 0, false}, {"mat1", 0, 0, 0, false}, {"mat2", 1, 0, 0, false},
               {"mat3", 1, 1, 0, false}, {"mat4", 1, 1, 0, false}, {"mat5", 1, 1, 5, true}};
  for (const auto &c : cases) {
    g::clearAll();
    useVariant(std::string("no_") + c.missing);
    std::size_t live = mexrtLiveArrayCount();
    try {
      mxDestroyArray(mlfTonegrid());
      ADD_FAILURE() << c.missing << ": no error";
    } catch (const mexrt::Error &e) {
      EXPECT_EQ(e.what(), "Variable \"" + std::string(c.missing) + "\" is undefined.") << c.missing;
    }
    std::vector<double> figs = g::figures();
    ASSERT_EQ(figs.size(), c.figures) << c.missing;
    if (figs.empty()) continue;
    std::vector<double> kids = g::childrenOf(figs[0]);
    ASSERT_EQ(kids.size(), c.figureChildren) << c.missing;
    if (kids.empty()) continue;
    EXPECT_EQ(g::typeOf(kids[0]), g::Type::Axes) << c.missing;
    EXPECT_EQ(g::childrenOf(kids[0]).size(), c.axesChildren) << c.missing;
    if (c.titled) {
      for (const char *role : {"Title", "XLabel", "YLabel", "ZLabel"}) {
        EXPECT_EQ(Prop(kids[0], role).numbers().size(), 1u)
            << c.missing << ": " << role << " attached";
      }
    }
    g::clearAll();
    EXPECT_EQ(mexrtLiveArrayCount(), live) << c.missing << ": the failed call leaks nothing";
  }
}

TEST_F(Tonegrid, AMissingOrCorruptDataFileIsAClearError) {
  fs::path dir = fs::temp_directory_path() / ("tonegrid_test_" + std::to_string(::getpid()));
  fs::create_directories(dir / "corrupt");
  fs::create_directories(dir / "empty");
  {
    std::ofstream out(dir / "corrupt" / "tonegrid.mat", std::ios::binary);
    out << std::string(200, 'x');
  }
  const struct {
    const char *folder, *expected;
  } cases[] = {{"empty", "cannot find \"tonegrid.mat\""},
               {"corrupt", "is not a readable MAT-file"}};
  for (const auto &c : cases) {
    mexrt::matfile::setLoadPath({(dir / c.folder).string()});
    try {
      mxDestroyArray(mlfTonegrid());
      ADD_FAILURE() << c.folder << ": no error";
    } catch (const mexrt::Error &e) {
      EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos)
          << c.folder << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find("tonegrid.mat"), std::string::npos)
          << c.folder << ": names the file";
    }
    EXPECT_TRUE(g::figures().empty()) << c.folder;
  }
  fs::remove_all(dir);
}

}  // namespace
