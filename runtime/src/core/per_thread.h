// PerThread<T>: one T for each thread, made on the thread's first use and destroyed when the
// thread ends, for the runtime's caches and lists that calls on several threads at once must
// not share. Reaching it costs one thread-local load.
#pragma once

namespace mexrt::detail {

template <class T>
class PerThread {
 public:
  // This thread's T, or nullptr once the thread has begun ending and its T is gone (other
  // thread-local objects destroyed later may still free arrays: they go without the caches).
  static T *get() {
    if (current_) [[likely]]
      return current_;
    return make();
  }

 private:
  struct Owner {
    T value;
    ~Owner() {
      current_ = nullptr;  // before value's destructor: what it frees sees no T
      ended_ = true;
    }
  };

  static T *make() {
    if (ended_) return nullptr;
    static thread_local Owner owner;
    current_ = &owner.value;
    return current_;
  }

  // Initial-exec: a plain load from the thread pointer, no call into the dynamic linker. The
  // runtime is loaded with its program or its Python extension, within the room the system
  // keeps for such variables.
  static inline thread_local T *current_ __attribute__((tls_model("initial-exec"))) = nullptr;
  static inline thread_local bool ended_ __attribute__((tls_model("initial-exec"))) = false;
};

}  // namespace mexrt::detail
