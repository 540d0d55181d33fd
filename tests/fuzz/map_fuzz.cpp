// Fuzz target for map!: random puts, removals, look-ups, clears and copies of integer and
// string keys, checked after every step against std::unordered_map. Strings differ in
// letter case, so the case-insensitive key rule is exercised: the model keys strings by
// their lower-case text. Any difference, crash or hang is a fault.
#include <cstdint>
#include <string>
#include <unordered_map>

#include "boot/init.h"
#include "runtime/collector.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/string.h"
#include "runtime/fire.h"
#include "runtime/stack.h"

using namespace vyr;

namespace {

// One key of the model: a removed pair keeps its place and spelling, and a later put of
// any spelling of it revives it.
struct entry {
  i32 value;
  std::string spelling;
  bool live;
};
using model_t = std::unordered_map<std::string, entry>;

// Key k (0-31): integers 0-15, then the strings "k0" ... "k7" and "K0" ... "K7". `model`
// gets the key the map compares by (strings without case), `spelling` the exact key.
cell make_key(u32 k, std::string* model, std::string* spelling = nullptr) {
  if (k < 16) {
    *model = "i" + std::to_string(k);
    if (spelling) *spelling = *model;
    return cell{TYPE_INTEGER, 0, k, 0};
  }
  std::string text = std::string(k < 24 ? "k" : "K") + std::to_string(k % 8);
  *model = "sk" + std::to_string(k % 8);
  if (spelling) *spelling = text;
  cell s;
  string::load_at(text.data(), static_cast<u32>(text.size()), &s, string::ENCODING_UTF8);
  return s;
}

void check(const cell* m, const model_t& model) {
  i32 live = 0;
  for (auto& e : model) live += e.second.live;
  if (map::size_q(m) != live) __builtin_trap();
  for (u32 k = 0; k < 32; k++) {
    std::string name;
    cell key = make_key(k, &name);
    collector::root_guard kg(&key);
    find_args o;
    cell mm = *m;
    collector::root_guard mg(&mm);
    const cell* got = map::select(&mm, &key, o);
    auto it = model.find(name);
    if (it == model.end() || !it->second.live) {
      if (type_of(got) != TYPE_NONE) __builtin_trap();
    } else if (type_of(got) != TYPE_INTEGER || static_cast<i32>(got->data2) != it->second.value) {
      __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (boot::init_runtime(), true);
  (void)ready;
  if (size > 2048) return 0;
  stack::guard sg;
  cell m;
  map::make_at(&m, nullptr, static_cast<i32>(size % 5));
  collector::root_guard g(&m);
  model_t model;
  try {
    for (size_t i = 0; i + 1 < size; i += 2) {
      u8 op = data[i] >> 5, k = data[i] & 31;
      i32 value = data[i + 1];
      std::string name, spelling;
      cell key = make_key(k, &name, &spelling);
      collector::root_guard kg(&key);
      switch (op) {
        case 0: case 1: case 2: {
          cell v{TYPE_INTEGER, 0, static_cast<u32>(value), 0};
          map::put(&m, &key, &v, false);
          auto it = model.find(name);
          if (it == model.end()) {
            model[name] = entry{value, spelling, true};
          } else {
            it->second.value = value;
            it->second.live = true;
          }
          break;
        }
        case 3: {
          // remove/key is case-sensitive: only the exact stored spelling is removed.
          map::remove(&m, nullptr, &key);
          auto it = model.find(name);
          if (it != model.end() && it->second.spelling == spelling) it->second.live = false;
          break;
        }
        case 4:
          if (value % 8 == 0) {
            map::clear(&m);
            model.clear();
          }
          break;
        case 5: {
          cell c;
          map::copy(&m, &c, nullptr, value & 1, nullptr);
          m = c;
          break;
        }
        default:
          check(&m, model);
          break;
      }
    }
    check(&m, model);
  } catch (thrown&) {
    __builtin_trap();  // nothing here raises
  }
  return 0;
}
