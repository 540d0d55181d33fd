// Machine stack bounds from the thread's attributes; the margin leaves room for raising and
// unwinding the overflow error.
#include "runtime/interpreter/native_stack.h"

#include <pthread.h>

#include "runtime/stack.h"

namespace vyr::native_stack {

char* low = nullptr;
char* high = nullptr;

void refresh() {
  pthread_attr_t attr;
  void* addr = nullptr;
  size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getstack(&attr, &addr, &size);
    pthread_attr_destroy(&attr);
  }
  if (!addr || !size) {  // unknown bounds: never fire
    low = nullptr;
    high = reinterpret_cast<char*>(~uintptr_t{0});
    return;
  }
  size_t margin = size / 4 < (size_t(1) << 20) ? size / 4 : (size_t(1) << 20);
  low = static_cast<char*>(addr) + margin;
  high = static_cast<char*>(addr) + size;
}

void overflow() { stack::overflow(); }

}  // namespace vyr::native_stack
