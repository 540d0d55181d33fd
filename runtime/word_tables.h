// The runtime's fixed vocabulary, filled once at start-up: symbol ids (interned in exact
// case) and global words, one variable per entry, in the order they are made.
#pragma once
#include "runtime/cell.h"

// X(variable, "name") in creation order; a name listed twice has two variables.
#define VYR_RUNTIME_SYMBOLS(X) \
  X(spec, "spec") \
  X(body, "body") \
  X(words, "words") \
  X(class, "class") \
  X(logic_type, "logic!") \
  X(integer_type, "integer!") \
  X(char_type, "char!") \
  X(float_type, "float!") \
  X(percent_type, "percent!") \
  X(any_type_type, "any-type!") \
  X(exit, "exit") \
  X(return, "return") \
  X(os_windows, "Windows") \
  X(os_syllable, "Syllable") \
  X(os_macos, "macOS") \
  X(os_linux, "Linux") \
  X(os_netbsd, "NetBSD") \
  X(repeat, "repeat") \
  X(foreach, "foreach") \
  X(map_each, "map-each") \
  X(remove_each, "remove-each") \
  X(any, "any") \
  X(break, "break") \
  X(copy, "copy") \
  X(end, "end") \
  X(fail, "fail") \
  X(into, "into") \
  X(opt, "opt") \
  X(not, "not") \
  X(quote, "quote") \
  X(case, "case") \
  X(reject, "reject") \
  X(set, "set") \
  X(skip, "skip") \
  X(some, "some") \
  X(thru, "thru") \
  X(to, "to") \
  X(none, "none") \
  X(bar, "|") \
  X(minus, "-") \
  X(if, "if") \
  X(remove, "remove") \
  X(while, "while") \
  X(insert, "insert") \
  X(only, "only") \
  X(collect, "collect") \
  X(keep, "keep") \
  X(pick, "pick") \
  X(ahead, "ahead") \
  X(after, "after") \
  X(x, "x") \
  X(y, "y") \
  X(z, "z") \
  X(self, "self") \
  X(values, "values") \
  X(owner, "owner") \
  X(owned, "owned") \
  X(events_q, "events?") \
  X(true, "true") \
  X(false, "false") \
  X(yes, "yes") \
  X(no, "no") \
  X(on, "on") \
  X(off, "off") \
  X(type, "type") \
  X(face, "face") \
  X(window, "window") \
  X(offset, "offset") \
  X(key, "key") \
  X(flag, "flag") \
  X(code, "code") \
  X(picked, "picked") \
  X(flags, "flags") \
  X(away_q, "away?") \
  X(ctrl_q, "ctrl?") \
  X(shift_q, "shift?") \
  X(down_q, "down?") \
  X(mid_down_q, "mid-down?") \
  X(alt_down_q, "alt-down?") \
  X(aux_down_q, "aux-down?") \
  X(orientation, "orientation") \
  X(get, "get") \
  X(put, "put") \
  X(post, "post") \
  X(head, "head") \
  X(size, "size") \
  X(rgb, "rgb") \
  X(alpha, "alpha") \
  X(argb, "argb") \
  X(date, "date") \
  X(year, "year") \
  X(month, "month") \
  X(day, "day") \
  X(zone, "zone") \
  X(isoweek, "isoweek") \
  X(week, "week") \
  X(weekday, "weekday") \
  X(yearday, "yearday") \
  X(julian, "julian") \
  X(time, "time") \
  X(hour, "hour") \
  X(minute, "minute") \
  X(second, "second") \
  X(timezone, "timezone") \
  X(money_code, "code") \
  X(amount, "amount") \
  X(user, "user") \
  X(host, "host") \
  X(system, "system") \
  X(system_global, "system-global") \
  X(stack, "stack") \
  X(trace, "trace") \
  X(no_trace, "no-trace") \

#define VYR_RUNTIME_WORDS(X) \
  X(at, "at") \
  X(back, "back") \
  X(find, "find") \
  X(head, "head") \
  X(head_q, "head?") \
  X(index_q, "index?") \
  X(length_q, "length?") \
  X(next, "next") \
  X(pick, "pick") \
  X(skip, "skip") \
  X(select, "select") \
  X(tail, "tail") \
  X(tail_q, "tail?") \
  X(change, "change") \
  X(changed, "changed") \
  X(clear, "clear") \
  X(cleared, "cleared") \
  X(set_path, "set-path") \
  X(append, "append") \
  X(appended, "appended") \
  X(move, "move") \
  X(moved, "moved") \
  X(poke, "poke") \
  X(poked, "poked") \
  X(put, "put") \
  X(put_ed, "put-ed") \
  X(removed, "removed") \
  X(random, "random") \
  X(randomized, "randomized") \
  X(reverse, "reverse") \
  X(reversed, "reversed") \
  X(sort, "sort") \
  X(sorted, "sorted") \
  X(swap, "swap") \
  X(swaped, "swaped") \
  X(take, "take") \
  X(taken, "taken") \
  X(trim, "trim") \
  X(trimmed, "trimmed") \
  X(inserted, "inserted") \
  X(uppercase, "uppercase") \
  X(lowercase, "lowercase") \
  X(checksum, "checksum") \
  X(push, "push") \
  X(pop, "pop") \
  X(fetch, "fetch") \
  X(match, "match") \
  X(iterate, "iterate") \
  X(paren, "paren") \
  X(anon, "<anon>") \
  X(body, "<body>") \
  X(not_found, "<not-found>") \
  X(add, "add") \
  X(subtract, "subtract") \
  X(divide, "divide") \
  X(on_parse_event, "on-parse-event") \
  X(on_change_star, "on-change*") \
  X(on_deep_change_star, "on-deep-change*") \
  X(type, "type") \
  X(id, "id") \
  X(try, "try") \
  X(catch, "catch") \
  X(name, "name") \
  X(multiply, "multiply") \
  X(browse, "browse") \
  X(open, "open") \
  X(create, "create") \
  X(close, "close") \
  X(delete, "delete") \
  X(modify, "modify") \
  X(query, "query") \
  X(read, "read") \
  X(rename, "rename") \
  X(update, "update") \
  X(write, "write") \
  X(prescan, "prescan") \
  X(scan, "scan") \
  X(load, "load") \
  X(error, "error") \
  X(comment, "comment") \
  X(init, "init") \
  X(exec, "exec") \
  X(call, "call") \
  X(return, "return") \
  X(enter, "enter") \
  X(exit, "exit") \
  X(prolog, "prolog") \
  X(epilog, "epilog") \
  X(throw, "throw") \
  X(expr, "expr") \
  X(interp_callback, "<interp-callback>") \
  X(lexer_callback, "<lexer-callback>") \
  X(parse_callback, "<parse-callback>") \
  X(compare_callback, "<compare-callback>") \
  X(category_throw, "throw") \
  X(note, "note") \
  X(syntax, "syntax") \
  X(script, "script") \
  X(math, "math") \
  X(access, "access") \
  X(user, "user") \
  X(internal, "internal") \
  X(invalid_error, "invalid-error") \
  X(local, "local") \
  X(applied, "<applied>") \

namespace vyr::symbol {

void init_runtime_words();     // the symbol entries, then the word entries
void init_refinement_words();  // unbound refinements kept in the root block
void init_issue_words();

}  // namespace vyr::symbol

namespace vyr::words {

#define VYR_DECLARE_SYMBOL(var, text) extern u32 sym_##var;
#define VYR_DECLARE_WORD(var, text) extern cell word_##var;
VYR_RUNTIME_SYMBOLS(VYR_DECLARE_SYMBOL)
VYR_RUNTIME_WORDS(VYR_DECLARE_WORD)
#undef VYR_DECLARE_SYMBOL
#undef VYR_DECLARE_WORD

// Refinements /local /extern /compare /part /skip /with, and the issue #ooo.
extern cell ref_local, ref_extern, ref_compare, ref_part, ref_skip, ref_with;
extern cell issue_ooo;

}  // namespace vyr::words
