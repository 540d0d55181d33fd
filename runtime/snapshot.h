// The C++ side of a saved environment. Start-up may begin from an image of the arena taken
// after the environment was built, instead of building it again; every piece of C++ state
// that the construction changes (what refers into the arena: root cells, tables of nodes,
// the allocator's records) is registered here by its module when the module starts, so
// that the image can carry it and put it back. Registration happens in the runtime's
// initialisation, which runs the same way in the process that saves and in the one that
// restores: the entries are matched by name and size, in order.
#pragma once
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <string>
#include <vector>

#include "runtime/cell.h"

namespace vyr::snapshot {

// Plain bytes kept as they are (cells, node words, records of plain fields).
void keep(const char* name, void* p, size_t bytes);
template <class T>
void keep(const char* name, T* p) {
  keep(name, static_cast<void*>(p), sizeof(T));
}

// State of another shape: `save` appends its bytes, `restore` takes them back (false when
// they cannot be this state's). `object` is handed to both.
using save_fn = void (*)(void* object, std::string& out);
using restore_fn = bool (*)(void* object, const char* data, size_t size);
void keep_custom(const char* name, void* object, save_fn save, restore_fn restore);
// A vector of plain elements, kept with its length.
template <class T>
void keep_vector(const char* name, std::vector<T>* v);

// Appends every kept entry (name, size, bytes) to `out`.
void save_state(std::string& out);
// Puts every kept entry back from what save_state wrote; false (nothing changed past the
// first entry checked) when the entries do not match this program's, by count, name or size.
bool check_state(const char* data, size_t size);
void restore_state(const char* data, size_t size);

// Set while the environment is being restored from an image.
extern bool restoring;

template <class T>
void keep_vector(const char* name, std::vector<T>* v) {
  static_assert(std::is_trivially_copyable_v<T>);
  keep_custom(name, v,
             [](void* p, std::string& out) {
               auto* vec = static_cast<std::vector<T>*>(p);
               out.append(reinterpret_cast<const char*>(vec->data()), vec->size() * sizeof(T));
             },
             [](void* p, const char* data, size_t size) {
               if (size % sizeof(T)) return false;
               auto* vec = static_cast<std::vector<T>*>(p);
               vec->resize(size / sizeof(T));
               if (size) std::memcpy(static_cast<void*>(vec->data()), data, size);
               return true;
             });
}

}  // namespace vyr::snapshot
