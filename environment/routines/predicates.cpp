// The type predicates, from one table: 48 that test a single type id and 14 that test
// membership of the typeset their word holds when they run.
#include <array>

#include "environment/routines/routines.h"
#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/interpreter/typecheck.h"

namespace vyr::routines {

const predicate predicates[] = {
    {"bitset?", TYPE_BITSET, nullptr},       {"binary?", TYPE_BINARY, nullptr},
    {"block?", TYPE_BLOCK, nullptr},         {"char?", TYPE_CHAR, nullptr},
    {"email?", TYPE_EMAIL, nullptr},         {"file?", TYPE_FILE, nullptr},
    {"float?", TYPE_FLOAT, nullptr},         {"get-path?", TYPE_GET_PATH, nullptr},
    {"get-word?", TYPE_GET_WORD, nullptr},   {"hash?", TYPE_HASH, nullptr},
    {"integer?", TYPE_INTEGER, nullptr},     {"issue?", TYPE_ISSUE, nullptr},
    {"lit-path?", TYPE_LIT_PATH, nullptr},   {"lit-word?", TYPE_LIT_WORD, nullptr},
    {"logic?", TYPE_LOGIC, nullptr},         {"map?", TYPE_MAP, nullptr},
    {"none?", TYPE_NONE, nullptr},           {"pair?", TYPE_PAIR, nullptr},
    {"paren?", TYPE_PAREN, nullptr},         {"path?", TYPE_PATH, nullptr},
    {"percent?", TYPE_PERCENT, nullptr},     {"refinement?", TYPE_REFINEMENT, nullptr},
    {"set-path?", TYPE_SET_PATH, nullptr},   {"set-word?", TYPE_SET_WORD, nullptr},
    {"string?", TYPE_STRING, nullptr},       {"tag?", TYPE_TAG, nullptr},
    {"time?", TYPE_TIME, nullptr},           {"typeset?", TYPE_TYPESET, nullptr},
    {"tuple?", TYPE_TUPLE, nullptr},         {"unset?", TYPE_UNSET, nullptr},
    {"url?", TYPE_URL, nullptr},             {"word?", TYPE_WORD, nullptr},
    {"image?", TYPE_IMAGE, nullptr},         {"date?", TYPE_DATE, nullptr},
    {"money?", TYPE_MONEY, nullptr},         {"ref?", TYPE_REF, nullptr},
    {"point2D?", TYPE_POINT2D, nullptr},     {"point3D?", TYPE_POINT3D, nullptr},
    {"handle?", TYPE_HANDLE, nullptr},       {"error?", TYPE_ERROR, nullptr},
    {"action?", TYPE_ACTION, nullptr},       {"native?", TYPE_NATIVE, nullptr},
    {"datatype?", TYPE_DATATYPE, nullptr},   {"function?", TYPE_FUNCTION, nullptr},
    {"object?", TYPE_OBJECT, nullptr},       {"op?", TYPE_OP, nullptr},
    {"routine?", TYPE_ROUTINE, nullptr},     {"vector?", TYPE_VECTOR, nullptr},
    {"any-list?", 0, "any-list!"},           {"any-block?", 0, "any-block!"},
    {"any-function?", 0, "any-function!"},   {"any-object?", 0, "any-object!"},
    {"any-path?", 0, "any-path!"},           {"any-string?", 0, "any-string!"},
    {"any-word?", 0, "any-word!"},           {"series?", 0, "series!"},
    {"number?", 0, "number!"},               {"immediate?", 0, "immediate!"},
    {"scalar?", 0, "scalar!"},               {"all-word?", 0, "all-word!"},
    {"any-point?", 0, "any-point!"},         {"planar?", 0, "planar!"},
};
const u32 predicate_count = sizeof predicates / sizeof predicates[0];

namespace {
constexpr u32 COUNT = sizeof predicates / sizeof predicates[0];

// The typeset words, interned on first use and kept as roots: the call then reads the
// word's slot by its index, with no name lookup.
std::array<cell, COUNT> typeset_words{};

template <u32 I>
void single(cell* a, u32) {
  a[0] = cell{TYPE_LOGIC, type_of(a) == predicates[I].type ? 1u : 0u, 0, 0};
}

template <u32 I>
void member(cell* a, u32) {
  cell& w = typeset_words[I];
  if (type_of(&w) != TYPE_WORD) w = word::intern(predicates[I].typeset);
  const cell* ts = word::value_checked(&w);
  if (type_of(ts) != TYPE_TYPESET) {
    // Only a typeset is read as a map of types.
    cell expected, found;
    datatype::make_at(&expected, TYPE_TYPESET);
    datatype::make_at(&found, type_of(ts));
    fire("script", "expect-val", &expected, &found);
  }
  a[0] = cell{TYPE_LOGIC, typecheck::accepts(ts, type_of(a)) ? 1u : 0u, 0, 0};
}

template <u32... I>
constexpr std::array<routine::code_fn, COUNT> table(std::integer_sequence<u32, I...>) {
  return {(predicates[I].type ? &single<I> : &member<I>)...};
}
}  // namespace

void register_predicates() {
  for (cell& c : typeset_words) {
    c = cell{TYPE_NONE, 0, 0, 0};
    collector::add_root(&c);
  }
  static const auto codes = table(std::make_integer_sequence<u32, COUNT>{});
  for (u32 i = 0; i < COUNT; i++) routine::register_(predicates[i].name, codes[i]);
}

}  // namespace vyr::routines
