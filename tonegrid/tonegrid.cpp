// tonegrid: the labelled figure of the mel scale, mels = 1127 ln(1 + f/700) against f in Hz,
// drawn from the data file "tonegrid" (mat0 to mat5); returns the figure's handle.
#include "tonegrid.h"

#include "mexrt/graphics.h"
#include "mexrt/matfile.h"

namespace {

using Tonegrid = frame::Function<"tonegrid", 0, 1>;  // no inputs, output fig

// Module constants in building order: the two messages, the data file's name, then the
// literals of the property lists in the order they first appear.
constexpr auto _array1_ = Tonegrid::outputsMessage;
constexpr auto _array3_ = Tonegrid::inputsMessage;
constexpr auto _array5_ = frame::codes(u"tonegrid");
constexpr auto _array7_ = frame::codes(u"Units");
constexpr auto _array9_ = frame::codes(u"normalized");
constexpr auto _array11_ = frame::codes(u"Color");
constexpr double _array13_[] = {0.8, 0.8, 0.8};
constexpr auto _array15_ = frame::codes(u"Colormap");
constexpr auto _array17_ = frame::codes(u"PointerShapeCData");
constexpr auto _array19_ = frame::codes(u"Position");
constexpr double _array21_[] = {0.03359375, 0.0400390625, 0.403125, 0.5078125};
constexpr auto _array23_ = frame::codes(u"Tag");
constexpr auto _array25_ = frame::codes(u"Fig1");
constexpr auto _array27_ = frame::codes(u"Parent");
constexpr auto _array29_ = frame::codes(u"Box");
constexpr auto _array31_ = frame::codes(u"on");
constexpr auto _array33_ = frame::codes(u"CameraUpVector");
constexpr double _array35_[] = {0.0, 1.0, 0.0};
constexpr auto _array37_ = frame::codes(u"CameraUpVectorMode");
constexpr auto _array39_ = frame::codes(u"manual");
constexpr double _array41_[] = {1.0, 1.0, 1.0};
constexpr auto _array43_ = frame::codes(u"ColorOrder");
constexpr double _array45_[] = {0.145349, 0.326923, 0.755814, 0.598077};
constexpr auto _array47_ = frame::codes(u"Axes1");
constexpr auto _array49_ = frame::codes(u"XColor");
constexpr double _array51_[] = {0.0, 0.0, 0.0};
constexpr auto _array53_ = frame::codes(u"XGrid");
constexpr auto _array55_ = frame::codes(u"YColor");
constexpr auto _array57_ = frame::codes(u"YGrid");
constexpr auto _array59_ = frame::codes(u"ZColor");
constexpr auto _array61_ = frame::codes(u"ZGrid");
constexpr double _array63_[] = {0.0, 0.0, 1.0};
constexpr auto _array65_ = frame::codes(u"Axes1Line1");
constexpr auto _array67_ = frame::codes(u"XData");
constexpr auto _array69_ = frame::codes(u"YData");
constexpr auto _array71_ = frame::codes(u"HandleVisibility");
constexpr auto _array73_ = frame::codes(u"off");
constexpr auto _array75_ = frame::codes(u"HorizontalAlignment");
constexpr auto _array77_ = frame::codes(u"center");
constexpr double _array79_[] = {3989.72, 3077.42, 0.0};
constexpr auto _array81_ = frame::codes(u"String");
constexpr auto _array83_ = frame::codes(u"Mel Scale");
constexpr auto _array85_ = frame::codes(u"Axes1Text4");
constexpr auto _array87_ = frame::codes(u"VerticalAlignment");
constexpr auto _array89_ = frame::codes(u"bottom");
constexpr auto _array91_ = frame::codes(u"Title");
constexpr double _array93_[] = {3989.72, -270.968, 0.0};
constexpr auto _array95_ = frame::codes(u"frequency in Hz");
constexpr auto _array97_ = frame::codes(u"Axes1Text3");
constexpr auto _array99_ = frame::codes(u"cap");
constexpr auto _array101_ = frame::codes(u"XLabel");
constexpr double _array103_[] = {-1007.71, 1490.32, 0.0};
constexpr auto _array105_ = frame::codes(u"Rotation");
constexpr auto _array108_ = frame::codes(u"Mel frequency");
constexpr auto _array110_ = frame::codes(u"Axes1Text2");
constexpr auto _array112_ = frame::codes(u"baseline");
constexpr auto _array114_ = frame::codes(u"YLabel");
constexpr auto _array116_ = frame::codes(u"right");
constexpr double _array118_[] = {-1562.98, 3367.74, 0.0};
constexpr auto _array120_ = frame::codes(u"Axes1Text1");
constexpr auto _array122_ = frame::codes(u"Visible");
constexpr auto _array124_ = frame::codes(u"ZLabel");
constexpr auto _array126_ = frame::codes(u"BackgroundColor");
constexpr auto _array128_ = frame::codes(u"ListboxTop");
constexpr double _array131_[] = {0.139535, 0.0269231, 0.75, 0.163462};
constexpr auto _array133_ = frame::codes(u"Style");
constexpr auto _array135_ = frame::codes(u"text");
constexpr auto _array137_ = frame::codes(u"StaticText1");

mxArray *_mxarray0_;    // 1: the outputs message
mxArray *_mxarray2_;    // 2: the inputs message
mxArray *_mxarray4_;    // 3: "tonegrid", the data file
mxArray *_mxarray6_;    // 4: "Units"
mxArray *_mxarray8_;    // 5: "normalized"
mxArray *_mxarray10_;   // 6: "Color"
mxArray *_mxarray12_;   // 7: [0.8 0.8 0.8]
mxArray *_mxarray14_;   // 8: "Colormap"
mxArray *_mxarray16_;   // 9: "PointerShapeCData"
mxArray *_mxarray18_;   // 10: "Position"
mxArray *_mxarray20_;   // 11: [0.03359375 0.0400390625 0.403125 0.5078125]
mxArray *_mxarray22_;   // 12: "Tag"
mxArray *_mxarray24_;   // 13: "Fig1"
mxArray *_mxarray26_;   // 14: "Parent"
mxArray *_mxarray28_;   // 15: "Box"
mxArray *_mxarray30_;   // 16: "on"
mxArray *_mxarray32_;   // 17: "CameraUpVector"
mxArray *_mxarray34_;   // 18: [0 1 0]
mxArray *_mxarray36_;   // 19: "CameraUpVectorMode"
mxArray *_mxarray38_;   // 20: "manual"
mxArray *_mxarray40_;   // 21: [1 1 1]
mxArray *_mxarray42_;   // 22: "ColorOrder"
mxArray *_mxarray44_;   // 23: [0.145349 0.326923 0.755814 0.598077]
mxArray *_mxarray46_;   // 24: "Axes1"
mxArray *_mxarray48_;   // 25: "XColor"
mxArray *_mxarray50_;   // 26: [0 0 0]
mxArray *_mxarray52_;   // 27: "XGrid"
mxArray *_mxarray54_;   // 28: "YColor"
mxArray *_mxarray56_;   // 29: "YGrid"
mxArray *_mxarray58_;   // 30: "ZColor"
mxArray *_mxarray60_;   // 31: "ZGrid"
mxArray *_mxarray62_;   // 32: [0 0 1]
mxArray *_mxarray64_;   // 33: "Axes1Line1"
mxArray *_mxarray66_;   // 34: "XData"
mxArray *_mxarray68_;   // 35: "YData"
mxArray *_mxarray70_;   // 36: "HandleVisibility"
mxArray *_mxarray72_;   // 37: "off"
mxArray *_mxarray74_;   // 38: "HorizontalAlignment"
mxArray *_mxarray76_;   // 39: "center"
mxArray *_mxarray78_;   // 40: [3989.72 3077.42 0]
mxArray *_mxarray80_;   // 41: "String"
mxArray *_mxarray82_;   // 42: "Mel Scale"
mxArray *_mxarray84_;   // 43: "Axes1Text4"
mxArray *_mxarray86_;   // 44: "VerticalAlignment"
mxArray *_mxarray88_;   // 45: "bottom"
mxArray *_mxarray90_;   // 46: "Title"
mxArray *_mxarray92_;   // 47: [3989.72 -270.968 0]
mxArray *_mxarray94_;   // 48: "frequency in Hz"
mxArray *_mxarray96_;   // 49: "Axes1Text3"
mxArray *_mxarray98_;   // 50: "cap"
mxArray *_mxarray100_;  // 51: "XLabel"
mxArray *_mxarray102_;  // 52: [-1007.71 1490.32 0]
mxArray *_mxarray104_;  // 53: "Rotation"
mxArray *_mxarray106_;  // 54: 90
mxArray *_mxarray107_;  // 55: "Mel frequency"
mxArray *_mxarray109_;  // 56: "Axes1Text2"
mxArray *_mxarray111_;  // 57: "baseline"
mxArray *_mxarray113_;  // 58: "YLabel"
mxArray *_mxarray115_;  // 59: "right"
mxArray *_mxarray117_;  // 60: [-1562.98 3367.74 0]
mxArray *_mxarray119_;  // 61: "Axes1Text1"
mxArray *_mxarray121_;  // 62: "Visible"
mxArray *_mxarray123_;  // 63: "ZLabel"
mxArray *_mxarray125_;  // 64: "BackgroundColor"
mxArray *_mxarray127_;  // 65: "ListboxTop"
mxArray *_mxarray129_;  // 66: 0
mxArray *_mxarray130_;  // 67: [0.139535 0.0269231 0.75 0.163462]
mxArray *_mxarray132_;  // 68: "Style"
mxArray *_mxarray134_;  // 69: "text"
mxArray *_mxarray136_;  // 70: "StaticText1"

// Step 7.2 to 7.4: the text in h2 becomes the `role` ("Title", "XLabel", ...) of the axes
// that is its parent. h2 is read once for the get and again for the set, in that order.
void attachToItsAxes(mxArray **ans, mxArray *h2, mxArray *role) {
  mxArray *axes = mclVe(mlfNGet(1, mclVv(h2, "h2"), _mxarray26_, nullptr));
  mxArray *text = mclVv(h2, "h2");
  mclAssignAns(ans, mlfNSet(0, axes, role, text, nullptr));
}

mxArray *Mtonegrid(int nargout_) {
  mxArray *fig = nullptr;
  mxArray *mat5 = nullptr;
  mxArray *h2 = nullptr;
  mxArray *mat4 = nullptr;
  mxArray *mat3 = nullptr;
  mxArray *h1 = nullptr;
  mxArray *mat2 = nullptr;
  mxArray *h0 = nullptr;
  mxArray *mat1 = nullptr;
  mxArray *mat0 = nullptr;
  mxArray *ans = nullptr;
  mxArray *tonegrid = nullptr;
  frame::Body<Tonegrid> body(
      _local_function_table_tonegrid,
      {&fig, frame::absent(&mat5), &h2, frame::absent(&mat4), frame::absent(&mat3), &h1,
       frame::absent(&mat2), &h0, frame::absent(&mat1), frame::absent(&mat0), &ans,
       frame::absent(&tonegrid)},
      {});

  mclLoadConditional(_mxarray4_, "ans", &ans, "fig", &fig, "h0", &h0, "h1", &h1, "h2", &h2, "mat0",
                     &mat0, "mat1", &mat1, "mat2", &mat2, "mat3", &mat3, "mat4", &mat4, "mat5",
                     &mat5, "tonegrid", &tonegrid, nullptr);

  // The figure. Each read is made into a local first, so the reads happen in this order.
  mxArray *colormap = mclVv(mat0, "mat0");
  mxArray *pointer = mclVv(mat1, "mat1");
  mlfAssign(&h0, mlfNFigure(1, _mxarray6_, _mxarray8_, _mxarray10_, _mxarray12_, _mxarray14_,
                            colormap, _mxarray16_, pointer, _mxarray18_, _mxarray20_, _mxarray22_,
                            _mxarray24_, nullptr));

  // The axes.
  mxArray *figure = mclVv(h0, "h0");
  mxArray *colorOrder = mclVv(mat2, "mat2");
  mlfAssign(&h1,
            mlfNAxes(1, _mxarray26_, figure, _mxarray28_, _mxarray30_, _mxarray32_, _mxarray34_,
                     _mxarray36_, _mxarray38_, _mxarray10_, _mxarray40_, _mxarray42_, colorOrder,
                     _mxarray18_, _mxarray44_, _mxarray22_, _mxarray46_, _mxarray48_, _mxarray50_,
                     _mxarray52_, _mxarray30_, _mxarray54_, _mxarray50_, _mxarray56_, _mxarray30_,
                     _mxarray58_, _mxarray50_, _mxarray60_, _mxarray30_, nullptr));

  // The line: frequencies in Hz against their mels.
  mxArray *axes = mclVv(h1, "h1");
  mxArray *xdata = mclVv(mat3, "mat3");
  mxArray *ydata = mclVv(mat4, "mat4");
  mlfAssign(&h2, mlfNLine(1, _mxarray26_, axes, _mxarray10_, _mxarray62_, _mxarray22_, _mxarray64_,
                          _mxarray66_, xdata, _mxarray68_, ydata, nullptr));

  // The title and the x, y and z labels, each made in the axes and then attached to them.
  mlfAssign(&h2,
            mlfNText(1, _mxarray26_, mclVv(h1, "h1"), _mxarray10_, _mxarray50_, _mxarray70_,
                     _mxarray72_, _mxarray74_, _mxarray76_, _mxarray18_, _mxarray78_, _mxarray80_,
                     _mxarray82_, _mxarray22_, _mxarray84_, _mxarray86_, _mxarray88_, nullptr));
  attachToItsAxes(&ans, h2, _mxarray90_);
  mlfAssign(&h2,
            mlfNText(1, _mxarray26_, mclVv(h1, "h1"), _mxarray10_, _mxarray50_, _mxarray70_,
                     _mxarray72_, _mxarray74_, _mxarray76_, _mxarray18_, _mxarray92_, _mxarray80_,
                     _mxarray94_, _mxarray22_, _mxarray96_, _mxarray86_, _mxarray98_, nullptr));
  attachToItsAxes(&ans, h2, _mxarray100_);
  mlfAssign(&h2, mlfNText(1, _mxarray26_, mclVv(h1, "h1"), _mxarray10_, _mxarray50_, _mxarray70_,
                          _mxarray72_, _mxarray74_, _mxarray76_, _mxarray18_, _mxarray102_,
                          _mxarray104_, _mxarray106_, _mxarray80_, _mxarray107_, _mxarray22_,
                          _mxarray109_, _mxarray86_, _mxarray111_, nullptr));
  attachToItsAxes(&ans, h2, _mxarray113_);
  mlfAssign(&h2, mlfNText(1, _mxarray26_, mclVv(h1, "h1"), _mxarray10_, _mxarray50_, _mxarray70_,
                          _mxarray72_, _mxarray74_, _mxarray115_, _mxarray18_, _mxarray117_,
                          _mxarray22_, _mxarray119_, _mxarray121_, _mxarray72_, nullptr));
  attachToItsAxes(&ans, h2, _mxarray123_);

  // The static-text control below the axes, in the figure.
  mxArray *parent = mclVv(h0, "h0");
  mxArray *caption = mclVv(mat5, "mat5");
  mlfAssign(&h1,
            mlfNUicontrol(1, _mxarray26_, parent, _mxarray6_, _mxarray8_, _mxarray125_, _mxarray12_,
                          _mxarray127_, _mxarray129_, _mxarray18_, _mxarray130_, _mxarray80_,
                          caption, _mxarray132_, _mxarray134_, _mxarray22_, _mxarray136_, nullptr));

  if (nargout_ > 0) mlfAssign(&fig, mclVsv(h0, "h0"));
  return body.ret(nargout_, "fig");
}

}  // namespace

LocalFunctionTable _local_function_table_tonegrid = {0, nullptr};

void InitializeModule_tonegrid(void) {
  _mxarray0_ = frame::string(_array1_);
  _mxarray2_ = frame::string(_array3_);
  _mxarray4_ = frame::string(_array5_);
  _mxarray6_ = frame::string(_array7_);
  _mxarray8_ = frame::string(_array9_);
  _mxarray10_ = frame::string(_array11_);
  _mxarray12_ = mclInitializeDoubleVector(1, 3, _array13_);
  _mxarray14_ = frame::string(_array15_);
  _mxarray16_ = frame::string(_array17_);
  _mxarray18_ = frame::string(_array19_);
  _mxarray20_ = mclInitializeDoubleVector(1, 4, _array21_);
  _mxarray22_ = frame::string(_array23_);
  _mxarray24_ = frame::string(_array25_);
  _mxarray26_ = frame::string(_array27_);
  _mxarray28_ = frame::string(_array29_);
  _mxarray30_ = frame::string(_array31_);
  _mxarray32_ = frame::string(_array33_);
  _mxarray34_ = mclInitializeDoubleVector(1, 3, _array35_);
  _mxarray36_ = frame::string(_array37_);
  _mxarray38_ = frame::string(_array39_);
  _mxarray40_ = mclInitializeDoubleVector(1, 3, _array41_);
  _mxarray42_ = frame::string(_array43_);
  _mxarray44_ = mclInitializeDoubleVector(1, 4, _array45_);
  _mxarray46_ = frame::string(_array47_);
  _mxarray48_ = frame::string(_array49_);
  _mxarray50_ = mclInitializeDoubleVector(1, 3, _array51_);
  _mxarray52_ = frame::string(_array53_);
  _mxarray54_ = frame::string(_array55_);
  _mxarray56_ = frame::string(_array57_);
  _mxarray58_ = frame::string(_array59_);
  _mxarray60_ = frame::string(_array61_);
  _mxarray62_ = mclInitializeDoubleVector(1, 3, _array63_);
  _mxarray64_ = frame::string(_array65_);
  _mxarray66_ = frame::string(_array67_);
  _mxarray68_ = frame::string(_array69_);
  _mxarray70_ = frame::string(_array71_);
  _mxarray72_ = frame::string(_array73_);
  _mxarray74_ = frame::string(_array75_);
  _mxarray76_ = frame::string(_array77_);
  _mxarray78_ = mclInitializeDoubleVector(1, 3, _array79_);
  _mxarray80_ = frame::string(_array81_);
  _mxarray82_ = frame::string(_array83_);
  _mxarray84_ = frame::string(_array85_);
  _mxarray86_ = frame::string(_array87_);
  _mxarray88_ = frame::string(_array89_);
  _mxarray90_ = frame::string(_array91_);
  _mxarray92_ = mclInitializeDoubleVector(1, 3, _array93_);
  _mxarray94_ = frame::string(_array95_);
  _mxarray96_ = frame::string(_array97_);
  _mxarray98_ = frame::string(_array99_);
  _mxarray100_ = frame::string(_array101_);
  _mxarray102_ = mclInitializeDoubleVector(1, 3, _array103_);
  _mxarray104_ = frame::string(_array105_);
  _mxarray106_ = mclInitializeDouble(90.0);
  _mxarray107_ = frame::string(_array108_);
  _mxarray109_ = frame::string(_array110_);
  _mxarray111_ = frame::string(_array112_);
  _mxarray113_ = frame::string(_array114_);
  _mxarray115_ = frame::string(_array116_);
  _mxarray117_ = mclInitializeDoubleVector(1, 3, _array118_);
  _mxarray119_ = frame::string(_array120_);
  _mxarray121_ = frame::string(_array122_);
  _mxarray123_ = frame::string(_array124_);
  _mxarray125_ = frame::string(_array126_);
  _mxarray127_ = frame::string(_array128_);
  _mxarray129_ = mclInitializeDouble(0.0);
  _mxarray130_ = mclInitializeDoubleVector(1, 4, _array131_);
  _mxarray132_ = frame::string(_array133_);
  _mxarray134_ = frame::string(_array135_);
  _mxarray136_ = frame::string(_array137_);
}

void TerminateModule_tonegrid(void) {
  frame::destroyInReverse(
      {_mxarray0_,   _mxarray2_,   _mxarray4_,   _mxarray6_,   _mxarray8_,   _mxarray10_,
       _mxarray12_,  _mxarray14_,  _mxarray16_,  _mxarray18_,  _mxarray20_,  _mxarray22_,
       _mxarray24_,  _mxarray26_,  _mxarray28_,  _mxarray30_,  _mxarray32_,  _mxarray34_,
       _mxarray36_,  _mxarray38_,  _mxarray40_,  _mxarray42_,  _mxarray44_,  _mxarray46_,
       _mxarray48_,  _mxarray50_,  _mxarray52_,  _mxarray54_,  _mxarray56_,  _mxarray58_,
       _mxarray60_,  _mxarray62_,  _mxarray64_,  _mxarray66_,  _mxarray68_,  _mxarray70_,
       _mxarray72_,  _mxarray74_,  _mxarray76_,  _mxarray78_,  _mxarray80_,  _mxarray82_,
       _mxarray84_,  _mxarray86_,  _mxarray88_,  _mxarray90_,  _mxarray92_,  _mxarray94_,
       _mxarray96_,  _mxarray98_,  _mxarray100_, _mxarray102_, _mxarray104_, _mxarray106_,
       _mxarray107_, _mxarray109_, _mxarray111_, _mxarray113_, _mxarray115_, _mxarray117_,
       _mxarray119_, _mxarray121_, _mxarray123_, _mxarray125_, _mxarray127_, _mxarray129_,
       _mxarray130_, _mxarray132_, _mxarray134_, _mxarray136_});
}

void mlxTonegrid(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]) {
  frame::gateway<Tonegrid, Mtonegrid>(nlhs, plhs, nrhs, prhs, _mxarray0_, _mxarray2_);
}

mxArray *mlfTonegrid(void) { return frame::direct<Tonegrid, Mtonegrid>(1); }

mxArray *mlfNTonegrid(int nargout) { return frame::direct<Tonegrid, Mtonegrid>(nargout); }

void mlfVTonegrid(void) { mxDestroyArray(frame::direct<Tonegrid, Mtonegrid>(0)); }
