// load: variables of a level-5 MAT-file into named slots. The file is first checked
// element by element here (matio trusts the sizes it reads), then read through matio.
// Numeric variables keep their class (double, single, the integer classes) and may be
// complex: their imaginary part follows the real one in the file.
#include <matio.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/array.h"
#include "core/utf8.h"
#include "mexrt/matfile.h"
#include "mexrt/mathlib.h"

namespace mexrt::detail {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxFileBytes = std::size_t{1} << 30;
constexpr std::size_t kMaxInflatedBytes = std::size_t{1} << 30;

// MAT-file element types and array classes.
enum : std::uint32_t {
  miINT8 = 1,
  miUINT8 = 2,
  miINT16 = 3,
  miUINT16 = 4,
  miINT32 = 5,
  miUINT32 = 6,
  miSINGLE = 7,
  miDOUBLE = 9,
  miINT64 = 12,
  miUINT64 = 13,
  miMATRIX = 14,
  miCOMPRESSED = 15,
  miUTF8 = 16,
  miUTF16 = 17,
  miUTF32 = 18
};
enum : std::uint32_t { kCharClass = 4, kDoubleClass = 6, kSingleClass = 7, kUint64Class = 15 };
constexpr std::uint32_t kComplexFlag = 0x0800;
constexpr std::uint32_t kLogicalFlag = 0x0200;

std::vector<std::string> &loadPath() {
  static std::vector<std::string> folders;
  return folders;
}

// matio's last complaint on this thread, added to our error text.
thread_local std::string g_matioMessage;
void matioLog(int /*level*/, char *message) { g_matioMessage = message ? message : ""; }

std::size_t typeSize(std::uint32_t t) {
  switch (t) {
    case miINT8:
    case miUINT8:
    case miUTF8:
      return 1;
    case miINT16:
    case miUINT16:
    case miUTF16:
      return 2;
    case miINT32:
    case miUINT32:
    case miSINGLE:
    case miUTF32:
      return 4;
    case miDOUBLE:
    case miINT64:
    case miUINT64:
      return 8;
    default:
      return 0;
  }
}

const char *className(std::uint32_t c) {
  static const char *names[] = {"unknown", "cell",   "struct", "object", "char",  "sparse",
                                "double",  "single", "int8",   "uint8",  "int16", "uint16",
                                "int32",   "uint32", "int64",  "uint64"};
  return c < std::size(names) ? names[c] : "unknown";
}

// --- The check of the file's structure ---

struct Element {
  std::uint32_t type = 0;
  std::span<const unsigned char> data;
  std::size_t next = 0;  // offset of the following element
};

// A byte view of a file or of an inflated stream, in the file's byte order.
class Bytes {
 public:
  Bytes(std::span<const unsigned char> b, bool swap) : b_(b), swap_(swap) {}
  std::size_t size() const { return b_.size(); }
  std::uint32_t u32(std::size_t at) const {
    std::uint32_t v;
    std::memcpy(&v, b_.data() + at, 4);
    return swap_ ? __builtin_bswap32(v) : v;
  }
  // The element at `at`, or nullopt when its tag or data run past the end. Elements inside
  // a variable are padded to 8 bytes; top-level ones (compressed ones above all) need not be.
  std::optional<Element> element(std::size_t at, bool padded = true) const {
    if (at > size() || size() - at < 8) return std::nullopt;
    std::uint32_t first = u32(at);
    Element e;
    if (first >> 16) {  // small element: type and size in one word, data in the next four bytes
      e.type = first & 0xffff;
      std::size_t n = first >> 16;
      if (n > 4) return std::nullopt;
      e.data = b_.subspan(at + 4, n);
      e.next = at + 8;
      return e;
    }
    e.type = first;
    std::size_t n = u32(at + 4);
    if (n > size() - at - 8) return std::nullopt;
    e.data = b_.subspan(at + 8, n);
    std::size_t length = padded ? (n + 7) / 8 * 8 : n;
    e.next = length > size() - at - 8 ? size() : at + 8 + length;
    return e;
  }
  bool swap() const { return swap_; }

 private:
  std::span<const unsigned char> b_;
  bool swap_;
};

struct Scanned {
  std::string name;
  std::uint32_t cls = 0;
  bool logical = false;
  std::vector<std::size_t> dims;
  std::size_t numel = 0;
  bool complex = false;
};

class Scan {
 public:
  Scan(std::string file) : file_(std::move(file)) {}
  [[noreturn]] void fail(const std::string &why) const {
    raise("load: \"" + file_ + "\" is not a readable MAT-file: " + why + ".");
  }
  std::vector<Scanned> run(std::span<const unsigned char> bytes);

 private:
  Scanned variable(const Bytes &b);
  std::vector<unsigned char> inflate(std::span<const unsigned char> in) const;
  std::string file_;
};

std::vector<Scanned> Scan::run(std::span<const unsigned char> bytes) {
  if (bytes.size() < 128) fail("it is shorter than a MAT-file header");
  bool swap;
  if (bytes[126] == 'I' && bytes[127] == 'M')
    swap = false;
  else if (bytes[126] == 'M' && bytes[127] == 'I')
    swap = true;
  else
    fail("it has no level 5 header");
  std::uint16_t version = swap ? (bytes[124] << 8 | bytes[125]) : (bytes[125] << 8 | bytes[124]);
  if (version != 0x0100) fail("its header version is not 5");
  Bytes file(bytes, swap);
  std::vector<Scanned> vars;
  for (std::size_t at = 128; at < file.size();) {
    std::optional<Element> e = file.element(at, false);
    if (!e) fail("an element at byte " + std::to_string(at) + " runs past the end of the file");
    if (e->type == miCOMPRESSED) {
      std::vector<unsigned char> plain = inflate(e->data);
      Bytes inner(plain, swap);
      std::optional<Element> m = inner.element(0);
      if (!m || m->type != miMATRIX) fail("a compressed element holds no variable");
      vars.push_back(variable(Bytes(m->data, swap)));
    } else if (e->type == miMATRIX) {
      vars.push_back(variable(Bytes(e->data, swap)));
    } else {
      fail("an element at byte " + std::to_string(at) + " is not a variable");
    }
    at = e->next;
  }
  return vars;
}

std::vector<unsigned char> Scan::inflate(std::span<const unsigned char> in) const {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) fail("the decompressor cannot start");
  std::unique_ptr<z_stream, int (*)(z_stream *)> guard(&z, inflateEnd);
  std::vector<unsigned char> out;
  z.next_in = const_cast<unsigned char *>(in.data());
  z.avail_in =
      static_cast<uInt>(std::min<std::size_t>(in.size(), std::numeric_limits<uInt>::max()));
  int rc = Z_OK;
  while (rc == Z_OK) {
    std::size_t have = out.size();
    if (have >= kMaxInflatedBytes) fail("a compressed variable is larger than 1 GiB");
    out.resize(have + 65536);
    z.next_out = out.data() + have;
    z.avail_out = 65536;
    rc = ::inflate(&z, Z_NO_FLUSH);
    out.resize(have + 65536 - z.avail_out);
    if (rc == Z_BUF_ERROR && z.avail_in == 0) break;
  }
  if (rc != Z_STREAM_END) fail("a compressed variable is damaged");
  return out;
}

// Checks one variable's flags, dimensions, name and data sizes.
Scanned Scan::variable(const Bytes &b) {
  Scanned v;
  std::optional<Element> flags = b.element(0);
  if (!flags || flags->type != miUINT32 || flags->data.size() != 8)
    fail("a variable has no array flags");
  Bytes fb(flags->data, b.swap());
  std::uint32_t f = fb.u32(0);
  v.cls = f & 0xff;
  v.logical = f & kLogicalFlag;
  std::optional<Element> dims = b.element(flags->next);
  if (!dims || dims->type != miINT32 || dims->data.size() < 8 || dims->data.size() % 4) {
    fail("a variable has no valid dimensions");
  }
  Bytes db(dims->data, b.swap());
  for (std::size_t k = 0; k < dims->data.size(); k += 4) {
    auto d = static_cast<std::int32_t>(db.u32(k));
    if (d < 0) fail("a variable has a negative dimension");
    v.dims.push_back(static_cast<std::size_t>(d));
  }
  std::optional<Element> name = b.element(dims->next);
  if (!name || name->type != miINT8 || name->data.empty() || name->data.size() > 63) {
    fail("a variable has no valid name");
  }
  for (unsigned char c : name->data) {
    if (!(std::isalnum(c) || c == '_')) fail("a variable's name is not a valid name");
  }
  v.name.assign(name->data.begin(), name->data.end());
  std::string named = "variable \"" + v.name + "\"";
  bool supported = v.cls == kCharClass || (v.cls >= kDoubleClass && v.cls <= kUint64Class);
  if (!supported) {
    raise("load: " + named + " in \"" + file_ + "\" is of class " + className(v.cls) +
          ", which cannot be loaded (only numeric, char and logical arrays).");
  }
  v.complex = f & kComplexFlag;
  if (v.complex && (v.cls == kCharClass || v.logical)) fail(named + " is complex text or logical");
  std::optional<std::size_t> n = checkedProduct(v.dims);
  if (!n || *n > kMaxInflatedBytes) fail(named + " has too many elements");
  v.numel = *n;
  std::optional<Element> real = b.element(name->next);
  if (!real) fail(named + " has no data");
  std::size_t es = typeSize(real->type);
  bool charType = real->type == miUTF8 || real->type == miUTF16 || real->type == miUTF32;
  if (es == 0 || (charType && v.cls != kCharClass)) fail(named + " has data of an unknown type");
  if (v.cls == kCharClass && !(real->type == miUINT8 || real->type == miUINT16 ||
                               real->type == miUTF8 || real->type == miUTF16)) {
    fail(named + " holds characters of an unsupported encoding");
  }
  if (real->data.size() != v.numel * es) fail(named + " holds a wrong number of bytes of data");
  if (real->type == miUTF8) {
    for (unsigned char c : real->data) {
      if (c >= 0x80) fail(named + " holds UTF-8 characters beyond ASCII");
    }
  }
  if (v.complex) {
    std::optional<Element> imag = b.element(real->next);
    if (!imag) fail(named + " is complex but has no imaginary part");
    std::size_t ies = typeSize(imag->type);
    bool textType = imag->type == miUTF8 || imag->type == miUTF16 || imag->type == miUTF32;
    if (ies == 0 || textType) fail(named + " has an imaginary part of an unknown type");
    if (imag->data.size() != v.numel * ies)
      fail(named + " holds a wrong number of bytes of imaginary data");
  }
  return v;
}

// --- Reading through matio ---

struct MatClose {
  void operator()(mat_t *m) const { Mat_Close(m); }
};
struct MatFree {
  void operator()(matvar_t *v) const { Mat_VarFree(v); }
};
using MatVar = std::unique_ptr<matvar_t, MatFree>;

template <class T>
void widen(const void *data, double *out, std::size_t n) {
  const T *p = static_cast<const T *>(data);
  for (std::size_t k = 0; k < n; ++k) out[k] = static_cast<double>(p[k]);
}

// n elements of class c at data as doubles.
void widenClass(matio_classes c, const void *data, double *out, std::size_t n) {
  switch (c) {
    case MAT_C_DOUBLE:
      return widen<double>(data, out, n);
    case MAT_C_SINGLE:
      return widen<float>(data, out, n);
    case MAT_C_INT8:
      return widen<std::int8_t>(data, out, n);
    case MAT_C_UINT8:
      return widen<std::uint8_t>(data, out, n);
    case MAT_C_INT16:
      return widen<std::int16_t>(data, out, n);
    case MAT_C_UINT16:
      return widen<std::uint16_t>(data, out, n);
    case MAT_C_INT32:
      return widen<std::int32_t>(data, out, n);
    case MAT_C_UINT32:
      return widen<std::uint32_t>(data, out, n);
    case MAT_C_INT64:
      return widen<std::int64_t>(data, out, n);
    case MAT_C_UINT64:
      return widen<std::uint64_t>(data, out, n);
    default:
      return;
  }
}

std::size_t classBytes(matio_classes c) {
  switch (c) {
    case MAT_C_DOUBLE:
    case MAT_C_INT64:
    case MAT_C_UINT64:
      return 8;
    case MAT_C_SINGLE:
    case MAT_C_INT32:
    case MAT_C_UINT32:
      return 4;
    case MAT_C_INT16:
    case MAT_C_UINT16:
      return 2;
    case MAT_C_INT8:
    case MAT_C_UINT8:
      return 1;
    default:
      return 0;
  }
}

// The runtime's array for a variable matio has read, checked against what the scan saw.
Owned convert(const matvar_t &m, const Scanned &s, const Scan &scan) {
  std::string named = "variable \"" + s.name + "\"";
  if (m.rank < 2 || static_cast<std::size_t>(m.rank) != s.dims.size() || !m.dims ||
      !std::equal(s.dims.begin(), s.dims.end(), m.dims)) {
    scan.fail(named + " was read with other dimensions");
  }
  Dims dims(std::span<const std::size_t>(s.dims));
  std::size_t n = s.numel;
  if (m.class_type == MAT_C_CHAR) {
    std::size_t es = m.data_type == MAT_T_UINT16 || m.data_type == MAT_T_UTF16 ? 2 : 1;
    if (n && (!m.data || m.nbytes < n * es)) scan.fail(named + " could not be read");
    Owned a(newArray(mxCHAR_CLASS, dims));
    mxChar *out = a->mutableChars();
    for (std::size_t k = 0; k < n; ++k) {
      out[k] = es == 2 ? static_cast<const std::uint16_t *>(m.data)[k]
                       : static_cast<const unsigned char *>(m.data)[k];
    }
    return a;
  }
  std::size_t es = classBytes(m.class_type);
  if (es == 0 || (m.isComplex != 0) != s.complex)
    scan.fail(named + " was read as an unsupported class");
  if (n && (!m.data || m.nbytes < n * es)) scan.fail(named + " could not be read");
  if (!s.complex && !s.logical && m.class_type != MAT_C_DOUBLE) {
    // single and the integer classes keep their class: matio's class numbers are the host's.
    Owned a(newArray(static_cast<mxClassID>(m.class_type), dims));
    if (n) std::memcpy(a->mutableData(), m.data, n * es);
    return a;
  }
  Owned a(newArray(mxDOUBLE_CLASS, dims));
  if (s.complex) {
    // This runtime holds complex values as doubles only: complex single or integer values
    // become complex doubles, exactly in meaning.
    // matio hands a complex variable's parts apart, as this runtime keeps them.
    addImaginaryPart(*a);
    const auto *parts = static_cast<const mat_complex_split_t *>(m.data);
    if (n && (!parts->Re || !parts->Im)) scan.fail(named + " could not be read");
    if (n) {
      widenClass(m.class_type, parts->Re, a->mutableReals(), n);
      widenClass(m.class_type, parts->Im, a->mutableImags(), n);
    }
    return a;
  }
  double *out = a->mutableReals();
  if (n) widenClass(m.class_type, m.data, out, n);
  if (!s.logical) return a;
  Owned l(newArray(mxLOGICAL_CLASS, dims));
  mxLogical *lo = l->mutableLogicals();
  for (std::size_t k = 0; k < n; ++k) lo[k] = out[k] != 0;
  return l;
}

// The file a name stands for: ".mat" added to a name without extension, then the current
// directory and each folder of the load path in turn.
fs::path resolve(const std::string &name) {
  fs::path p(name);
  if (!p.has_extension()) p += ".mat";
  std::vector<fs::path> candidates;
  if (p.is_absolute()) {
    candidates.push_back(p);
  } else {
    candidates.push_back(p);
    for (const std::string &folder : loadPath()) candidates.push_back(fs::path(folder) / p);
  }
  std::error_code ec;
  for (const fs::path &c : candidates) {
    if (fs::is_regular_file(c, ec)) return c;
  }
  raise("load: cannot find \"" + p.string() + "\" in the current directory or on the module path.");
}

std::vector<unsigned char> readAll(const fs::path &file) {
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  if (!in) raise("load: cannot open \"" + file.string() + "\" for reading.");
  std::streamoff size = in.tellg();
  if (size < 0) raise("load: cannot read \"" + file.string() + "\".");
  if (static_cast<std::uint64_t>(size) > kMaxFileBytes)
    raise("load: \"" + file.string() + "\" is larger than 1 GiB.");
  std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char *>(bytes.data()), size))
    raise("load: cannot read \"" + file.string() + "\".");
  return bytes;
}

struct Target {
  std::string name;
  Array **slot;
};

void load(const Array &fileName, const std::vector<Target> &targets) {
  if (!fileName.isChar() || fileName.dims.size() != 2 || fileName.dims[0] != 1) {
    raise("load: the file name must be a row of text, not a " + sizeText(fileName) + " array.");
  }
  fs::path file = resolve(toUtf8({fileName.chars(), fileName.numel()}));
  Scan scan(file.string());
  std::vector<Scanned> vars = scan.run(readAll(file));

  static const bool logged = Mat_LogInitFunc("mexrt", matioLog) == 0;
  (void)logged;
  g_matioMessage.clear();
  std::unique_ptr<mat_t, MatClose> mat(Mat_Open(file.c_str(), MAT_ACC_RDONLY));
  if (!mat)
    scan.fail("matio cannot open it" + (g_matioMessage.empty() ? "" : " (" + g_matioMessage + ")"));
  if (Mat_GetVersion(mat.get()) != MAT_FT_MAT5) scan.fail("it is not a level 5 MAT-file");

  // Read every variable in file order; keep the first of each name that a slot asks for.
  std::vector<Owned> values(targets.size());
  for (const Scanned &s : vars) {
    MatVar m(Mat_VarReadNext(mat.get()));
    if (!m)
      scan.fail("variable \"" + s.name + "\" could not be read" +
                (g_matioMessage.empty() ? "" : " (" + g_matioMessage + ")"));
    if (!m->name || s.name != m->name)
      scan.fail("variable \"" + s.name + "\" was read under another name");
    for (std::size_t k = 0; k < targets.size(); ++k) {
      if (!values[k] && targets[k].name == s.name) values[k] = convert(*m, s, scan);
    }
  }
  // Only now, with everything read, do the slots change.
  for (std::size_t k = 0; k < targets.size(); ++k) {
    if (!values[k]) continue;
    Array *old = *targets[k].slot;
    *targets[k].slot = values[k].release();
    if (old != *targets[k].slot) destroy(old);
  }
}

}  // namespace
}  // namespace mexrt::detail

std::vector<std::string> mexrt::matfile::variableNames(const std::string &name) {
  using namespace mexrt::detail;
  fs::path file = resolve(name);
  Scan scan(file.string());
  std::vector<std::string> names;
  for (const Scanned &s : scan.run(readAll(file))) {
    if (std::find(names.begin(), names.end(), s.name) == names.end()) names.push_back(s.name);
  }
  return names;
}

void mexrt::matfile::setLoadPath(const std::vector<std::string> &folders) {
  mexrt::detail::loadPath() = folders;
}

extern "C" void mclLoadConditional(mxArray *file, ...) {
  using namespace mexrt::detail;
  std::vector<Target> targets;
  va_list ap;
  va_start(ap, file);
  for (const char *name = va_arg(ap, const char *); name; name = va_arg(ap, const char *)) {
    targets.push_back({name, va_arg(ap, mxArray **)});
  }
  va_end(ap);
  Operand f(file, "load");
  for (const Target &t : targets) {
    if (!t.slot) raise("load: no slot was given for variable \"" + t.name + "\".");
  }
  load(*f, targets);
}
