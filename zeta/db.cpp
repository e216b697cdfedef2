// db: decibels of magnitudes, y = 20 * log10(x) element by element; y has the shape of x.
#include "db.h"

#include "frame/frame.h"

namespace {

using db = frame::Function<"db", 1, 1>;  // input x, output y

constexpr auto _array1_ = db::outputsMessage;
constexpr auto _array3_ = db::inputsMessage;
mxArray *_mxarray0_;  // the outputs message
mxArray *_mxarray2_;  // the inputs message
mxArray *_mxarray4_;  // 20

mxArray *Mdb(int nargout_, mxArray *x) {
  mxArray *y = nullptr;
  frame::Body<db> body(_local_function_table_db, {&y}, {&x});
  mlfAssign(&y, mclTimes(_mxarray4_, mclVe(mlfLog10(mclVa(x, "x")))));
  return body.ret(nargout_, "y");
}

}  // namespace

LocalFunctionTable _local_function_table_db = {0, nullptr};

void InitializeModule_db(void) {
  _mxarray0_ = frame::string(_array1_);
  _mxarray2_ = frame::string(_array3_);
  _mxarray4_ = mclInitializeDouble(20.0);
}

void TerminateModule_db(void) { frame::destroyInReverse({_mxarray0_, _mxarray2_, _mxarray4_}); }

void mlxDb(int32_t nlhs, mxArray *plhs[], int32_t nrhs, mxArray *prhs[]) {
  frame::gateway<db, Mdb>(nlhs, plhs, nrhs, prhs, _mxarray0_, _mxarray2_);
}

mxArray *mlfDb(mxArray *x) { return frame::direct<db, Mdb>(1, x); }
