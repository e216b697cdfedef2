// note: displays a, then a + b; a function without outputs that reads both of its inputs.
#include "frame/frame.h"
#include "units.h"

namespace {

using note = frame::Function<"note", 2, 0>;  // inputs a, b

constexpr auto _array1_ = note::outputsMessage;
constexpr auto _array3_ = note::inputsMessage;
mxArray *_mxarray0_;  // the outputs message
mxArray *_mxarray2_;  // the inputs message

void Mnote(mxArray *a, mxArray *b) {
  frame::Body<note> body(_local_function_table_note, {}, {&a, &b});
  mlfDisp(mclVa(a, "a"));
  mlfDisp(mclPlus(mclVa(a, "a"), mclVa(b, "b")));
  body.ret();
}

}  // namespace

LocalFunctionTable _local_function_table_note = {0, nullptr};

void InitializeModule_note(void) {
  _mxarray0_ = frame::string(_array1_);
  _mxarray2_ = frame::string(_array3_);
}

void TerminateModule_note(void) { frame::destroyInReverse({_mxarray0_, _mxarray2_}); }

void mlxNote(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]) {
  frame::gateway<note, Mnote>(nlhs, plhs, nrhs, prhs, _mxarray0_, _mxarray2_);
}

void mlfNote(mxArray *a, mxArray *b) { frame::directVoid<note, Mnote>(a, b); }
