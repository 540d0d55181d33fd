// The natives that reach the operating system or the runtime's own machinery: wait, the
// environment natives, now, call, size?, browse and recycle. Each converts its arguments
// to UTF-8 text or seconds, calls one host or platform routine and boxes the answer.
#include "runtime/natives/host.h"
#include "runtime/natives/domains.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>

#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/file.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/url.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/integer.h"
#include "runtime/fire.h"
#include "runtime/host/call.h"
#include "runtime/host/clipboard.h"
#include "runtime/host/os.h"
#include "runtime/host/simple_io.h"
#include "runtime/stack.h"
#include "runtime/memory_stats.h"
#include "runtime/halt.h"
#include "runtime/natives/natives.h"
#include "runtime/platform.h"

namespace vyr::natives {

void (*wait_hook)(std::int64_t) = nullptr;

namespace {
using stack::arguments;

inline bool present(const i32* refs, u32 i) { return refs[i] != -1; }

// ---- wait -------------------------------------------------------------------------------

void wait_entry(bool, const i32*) {
  cell v = arguments[0];
  double seconds;
  switch (type_of(&v)) {
    case TYPE_INTEGER: seconds = static_cast<double>(integer::get(&v)); break;
    case TYPE_FLOAT:
    case TYPE_TIME: seconds = cell_float(&v); break;
    default: fire("script", "invalid-arg", &v);
  }
  // Clamped to what one sleep can take; NaN is refused there. Slept in slices, so that a
  // halt asked for meanwhile (Ctrl+C at the console) ends the wait. Once the GUI is in, the
  // windows' pending messages (paint, input, timers) are handled before and between the
  // slices, as the event loop would: a window shown without waiting is drawn, and answers,
  // while the script waits. Its slices are short enough that the user sees no lag.
  u32 ms = platform::sleep_milliseconds(seconds);
  const std::chrono::milliseconds most(wait_hook ? 10 : 100);
  auto last = std::chrono::steady_clock::now();
  auto until = last + std::chrono::milliseconds(ms);
  for (;;) {
    if (wait_hook) {
      // The time handed on never goes past the wait's end: the passes of one wait move a
      // display's own clock by exactly the time waited, however the slices fell.
      auto now = std::min(std::chrono::steady_clock::now(), until);
      wait_hook(std::chrono::duration_cast<std::chrono::microseconds>(now - last).count());
      last = now;
    }
    auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    clipboard::sleep_serving(static_cast<double>(std::min(left, most).count()) / 1000.0);
    halt::check();
  }
  stack::set_last(cell{TYPE_NONE, 0, 0, 0});
}

// ---- environment --------------------------------------------------------------------------

std::string env_name(const cell* var) {
  cell v = *var;
  if (word::any_word_q(type_of(&v))) {
    cell name;
    word::name_string(&v, &name);
    return string::to_utf8(&name);
  }
  return string::to_utf8(&v);
}

void set_env_entry(bool, const i32*) {
  cell var = arguments[0], value = arguments[1];
  collector::root_guard keep_var(&var), keep_value(&value);
  std::string name = env_name(&var);
  bool ok;
  if (type_of(&value) == TYPE_NONE) {
    ok = os::set_env(name, nullptr);
  } else {
    std::string text = string::to_utf8(&value);
    if (text.find('\0') != std::string::npos) fire("script", "invalid-arg", &value);
    ok = os::set_env(name, &text);
  }
  if (!ok) fire("script", "invalid-arg", &var);
  stack::set_last(value);
}

void get_env_entry(bool, const i32*) {
  cell var = arguments[0];
  collector::root_guard keep_var(&var);
  std::string name = env_name(&var);
  std::string value;
  if (!os::get_env(name, &value) || value.empty()) {
    stack::set_last(cell{TYPE_NONE, 0, 0, 0});
    return;
  }
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_out(&out);
  string::load_at(value.data(), static_cast<u32>(value.size()), &out, string::ENCODING_UTF8);
  stack::set_last(out);
}

void list_env_entry(bool, const i32*) {
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep(&out);
  os::list_env(&out);
  stack::set_last(out);
}

// ---- now ----------------------------------------------------------------------------------

enum now_ref { YEAR, MONTH, DAY, TIME, ZONE, DATE, WEEKDAY, YEARDAY, PRECISE, UTC };

void now_entry(bool, const i32* refs) {
  int given = 0;
  for (int i = YEAR; i <= PRECISE; i++) given += present(refs, static_cast<u32>(i));
  bool time_precise = present(refs, TIME) && present(refs, PRECISE) && given == 2;
  if (given > 1 && !time_precise) fire("script", "bad-refines");
  bool utc = present(refs, UTC), precise = present(refs, PRECISE);
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  // The zone as a date keeps it: whole hours and quarter hours, toward zero.
  int zone = 0;
  if (!utc) {
    time_t now = ts.tv_sec;
    tm local{};
    localtime_r(&now, &local);
    int minutes = static_cast<int>(local.tm_gmtoff / 60);
    zone = minutes / 60 * 60 + minutes % 60 / 15 * 15;
  }
  time_t shifted = ts.tv_sec + static_cast<time_t>(zone) * 60;
  tm t{};
  gmtime_r(&shifted, &t);
  auto integer = [](i32 n) { stack::set_last(cell{TYPE_INTEGER, 0, static_cast<u32>(n), 0}); };
  if (present(refs, YEAR)) return integer(t.tm_year + 1900);
  if (present(refs, MONTH)) return integer(t.tm_mon + 1);
  if (present(refs, DAY)) return integer(t.tm_mday);
  if (present(refs, WEEKDAY)) return integer(t.tm_wday == 0 ? 7 : t.tm_wday);
  if (present(refs, YEARDAY)) return integer(t.tm_yday + 1);
  cell out;
  if (present(refs, ZONE)) {
    time::make_at(&out, zone * 60.0);
    return stack::set_last(out);
  }
  if (present(refs, TIME)) {
    double s = t.tm_hour * 3600.0 + t.tm_min * 60.0 + t.tm_sec;
    if (precise) s += static_cast<double>(ts.tv_nsec / 100) * 1e-7;
    time::make_at(&out, s);
    return stack::set_last(out);
  }
  // The whole date: with /date without time and zone, else with the local time of day
  // (its fraction with /precise) and the zone.
  bool with_time = !present(refs, DATE);
  double s = t.tm_hour * 3600.0 + t.tm_min * 60.0 + t.tm_sec;
  if (precise) s += static_cast<double>(ts.tv_nsec / 100) * 1e-7;
  date::make_at(&out, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, with_time ? zone / 60 : 0,
                with_time ? zone % 60 : 0, with_time ? s : 0.0, with_time);
  stack::set_last(out);
}

// ---- call, size?, browse ------------------------------------------------------------------

void call_entry(bool, const i32* refs) {
  const cell* input = present(refs, 4) ? arguments + refs[4] : nullptr;
  const cell* output = present(refs, 5) ? arguments + refs[5] : nullptr;
  const cell* error = present(refs, 6) ? arguments + refs[6] : nullptr;
  cell cmd = arguments[0];  // a file!'s local path is its own text here
  call::run(&cmd, present(refs, 0), present(refs, 1), present(refs, 2), present(refs, 3),
            input, output, error);
}

void size_q_entry(bool, const i32*) {
  cell file = arguments[0];
  if (simple_io::dir_q(&file)) return stack::set_last(cell{TYPE_NONE, 0, 0, 0});
  i64 size = simple_io::size_of(&file);
  if (size < 0) return stack::set_last(cell{TYPE_NONE, 0, 0, 0});
  stack::set_last(memory::count_value(static_cast<double>(size)));
}

void browse_entry(bool, const i32*) {
  cell target = arguments[0];
  collector::root_guard keep(&target);
  std::string text;
  if (type_of(&target) == TYPE_URL) {
    // A url! is held decoded: the escapes go back before it leaves as a locator.
    cell encoded{TYPE_UNSET, 0, 0, 0};
    collector::root_guard keep_enc(&encoded);
    string::make_at(&encoded, 64);
    url::encode(&target, -1, url::KEEP_SAFE, &encoded);
    text = string::to_utf8(&encoded);
  } else {
    // A file goes as an absolute path: it names the same file wherever the opener runs,
    // and it can never start with a dash.
    cell local{TYPE_UNSET, 0, 0, 0};
    collector::root_guard keep_local(&local);
    string::make_at(&local, 64);
    file::to_local_path(&target, &local, true);
    text = file::to_OS_path(&local);
  }
  // The opener would take a leading dash as one of its options, whatever follows it.
  if (!text.empty() && text[0] == '-') fire("script", "invalid-arg", &target);
  // The URL is one argument of its own: no shell ever sees it.
  if (text.find('\0') == std::string::npos) call::start_detached({"xdg-open", text});
  stack::set_last(cell{TYPE_UNSET, 0, 0, 0});
}

// ---- recycle ------------------------------------------------------------------------------

void recycle_entry(bool, const i32* refs) {
  if (present(refs, 0) || present(refs, 1)) {
    collector::state.enabled = present(refs, 0) ? 1 : 0;
    return stack::set_last(cell{TYPE_UNSET, 0, 0, 0});
  }
  collector::do_cycle();
  stack::set_last(memory::count_value(memory::stats(nullptr, 1)));
}

}  // namespace

void install_host() {
  install(id::wait, wait_entry);
  install(id::set_env, set_env_entry);
  install(id::get_env, get_env_entry);
  install(id::list_env, list_env_entry);
  install(id::now, now_entry);
  install(id::call, call_entry);
  install(id::size_q, size_q_entry);
  install(id::browse, browse_entry);
  install(id::recycle, recycle_entry);
}

}  // namespace vyr::natives
