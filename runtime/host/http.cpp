// HTTP on libcurl. Everything curl hands back (header lines, body chunks) is copied into
// C++ strings first; values are made only after the transfer, so no arena pointer is held
// while curl runs.
#include "runtime/host/http.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <type_traits>

#include <cstring>
#include <memory>

#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/url.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/series.h"
#include "runtime/fire.h"
#include "runtime/host/simple_io.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/cells.h"
#include "runtime/stack.h"
#include "runtime/memory.h"

namespace vyr::http {

namespace {

constexpr const char* USER_AGENT = "Mozilla/5.0 (Windows NT 6.1; Win64; x64)";
constexpr u64 BODY_LIMIT = 0x7FFFFFFF;

struct reply {
  std::string headers;  // the header block of the latest reply (redirects replace it)
  std::string body;
  bool too_long = false;
};

size_t on_header(char* p, size_t size, size_t n, void* user) {
  auto* r = static_cast<reply*>(user);
  size_t len = size * n;
  // A status line starts the headers of a new reply: only the final one counts.
  if (len >= 5 && std::memcmp(p, "HTTP/", 5) == 0) r->headers.clear();
  r->headers.append(p, len);
  return len;
}

size_t on_body(char* p, size_t size, size_t n, void* user) {
  auto* r = static_cast<reply*>(user);
  size_t len = size * n;
  if (r->body.size() + len > BODY_LIMIT) {
    r->too_long = true;
    return 0;  // stops the transfer
  }
  r->body.append(p, len);
  return len;
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

// A header name or value as text: a word's name, a string as it is, anything else formed
// on its own.
std::string text_of(const cell* value_in, bool name) {
  cell value = *value_in;
  collector::root_guard keep(&value);
  u32 t = type_of(&value);
  if (name && word::any_word_q(t)) {
    cell s;
    word::name_string(&value, &s);
    return string::to_utf8(&s);
  }
  if (t == TYPE_STRING) return binary::utf8_of(&value);
  cell text{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_text(&text);
  string::make_at(&text, 32);
  actions::form(&value, &text);
  return string::to_utf8(&text);
}

[[noreturn]] void no_connect(const cell* url, const std::string& reason) {
  cell u = *url, why{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep(&u), keep_why(&why);
  string::load_at(reason.data(), static_cast<u32>(reason.size()), &why,
                  string::ENCODING_UTF8);
  fire("access", "no-connect", &u, &why);
}

// libcurl and the thirty libraries it pulls in are loaded on the first HTTP request, not
// at process start: linking them made every start of vyr five times slower.
struct curl_api {
  CURLcode (*global_init)(long);
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
  CURLcode (*easy_perform)(CURL*);
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
  void (*easy_cleanup)(CURL*);
  const char* (*easy_strerror)(CURLcode);
  curl_slist* (*slist_append)(curl_slist*, const char*);
  void (*slist_free_all)(curl_slist*);
};

// The loaded library, or null when it or one of its entries is missing.
const curl_api* load_curl() {
  static const curl_api* api = [] () -> const curl_api* {
    void* lib = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return nullptr;
    static curl_api a;
    bool ok = true;
    auto get = [&](auto& fn, const char* name) {
      void* p = dlsym(lib, name);
      if (!p) ok = false;
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(p);
    };
    get(a.global_init, "curl_global_init");
    get(a.easy_init, "curl_easy_init");
    get(a.easy_setopt, "curl_easy_setopt");
    get(a.easy_perform, "curl_easy_perform");
    get(a.easy_getinfo, "curl_easy_getinfo");
    get(a.easy_cleanup, "curl_easy_cleanup");
    get(a.easy_strerror, "curl_easy_strerror");
    get(a.slist_append, "curl_slist_append");
    get(a.slist_free_all, "curl_slist_free_all");
    if (!ok || a.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
    return &a;
  }();
  return api;
}
const curl_api* libcurl = nullptr;  // set by the request before any other use

struct curl_deleter {
  void operator()(CURL* c) const { libcurl->easy_cleanup(c); }
};
struct slist_deleter {
  void operator()(curl_slist* l) const { libcurl->slist_free_all(l); }
};

// The header map: word! keys as the names were sent; a name met again (in any letter
// case) gathers its strings in a block in the order received.
void header_map(const header_list& headers, cell* out) {
  std::vector<std::pair<std::string, std::vector<std::string>>> grouped;
  for (const auto& [name, value] : headers) {
    bool found = false;
    for (auto& g : grouped)
      if (lower(g.first) == lower(name)) {
        g.second.push_back(value);
        found = true;
        break;
      }
    if (!found) grouped.push_back({name, {value}});
  }
  cell pairs{TYPE_UNSET, 0, 0, 0}, v{TYPE_UNSET, 0, 0, 0}, s{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_pairs(&pairs), keep_v(&v), keep_s(&s);
  cells::make_block(&pairs, static_cast<u32>(grouped.size() * 2 + 1));
  for (const auto& [name, values] : grouped) {
    cell w = word::intern(name.c_str());
    cells::append(series::node(&pairs), &w);
    if (values.size() == 1) {
      string::load_at(values[0].data(), static_cast<u32>(values[0].size()), &v,
                      string::ENCODING_UTF8);
    } else {
      cells::make_block(&v, static_cast<u32>(values.size()));
      for (const std::string& one : values) {
        string::load_at(one.data(), static_cast<u32>(one.size()), &s, string::ENCODING_UTF8);
        cells::append(series::node(&v), &s);
      }
    }
    cells::append(series::node(&pairs), &v);
  }
  map::make_at(out, &pairs, 0);
}

}  // namespace

header_list parse_headers(const std::string& text) {
  header_list out;
  size_t i = 0, n = text.size();
  while (i < n) {
    size_t end = text.find('\n', i);
    if (end == std::string::npos) end = n;
    size_t stop = end;
    if (stop > i && text[stop - 1] == '\r') stop--;
    std::string line = text.substr(i, stop - i);
    i = end + 1;
    if (line.empty() || line.rfind("HTTP/", 0) == 0) continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) continue;
    size_t v = colon + 1;
    while (v < line.size() && (line[v] == ' ' || line[v] == '\t')) v++;
    size_t ve = line.size();
    while (ve > v && (line[ve - 1] == ' ' || line[ve - 1] == '\t')) ve--;
    out.emplace_back(line.substr(0, colon), line.substr(v, ve - v));
  }
  return out;
}

cell* request(const cell* method_in, const cell* url_in, const cell* headers_in,
              const cell* data_in, bool binary, bool lines, bool info, cell* out) {
  cell method = *method_in, url = *url_in;
  cell headers = headers_in ? *headers_in : cell{TYPE_NONE, 0, 0, 0};
  cell data = data_in ? *data_in : cell{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep_m(&method), keep_u(&url), keep_h(&headers), keep_d(&data);
  collector::root_guard keep_out(out);

  libcurl = load_curl();
  if (!libcurl) no_connect(&url, "the HTTP client (libcurl) could not be loaded");

  // The method, then the body (none for GET and HEAD).
  cell mname;
  word::name_string(&method, &mname);
  std::string verb = upper(string::to_utf8(&mname));
  bool has_body = verb != "GET" && verb != "HEAD" && type_of(&data) != TYPE_NONE;
  std::string body;
  if (has_body) {
    if (type_of(&data) == TYPE_BINARY) {
      std::vector<u8> b = binary::bytes_of(&data);
      body.assign(b.begin(), b.end());
    } else {
      body = text_of(&data, false);
    }
  }

  // Every header as one line; curl's own optional ones are switched off by naming them
  // with no value, unless the caller gives them.
  header_list sent;
  if (type_of(&headers) == TYPE_NONE) {
    sent = {{"Content-Type", "application/x-www-form-urlencoded"},
            {"Accept-Charset", "UTF-8"},
            {"User-Agent", USER_AGENT}};
  } else {
    u32 count = cells::remaining(&headers);
    if (count % 2) {
      cell last = *cells::get(series::node(&headers), series::index(&headers) + count - 1);
      fire("script", "invalid-arg", &last);
    }
    for (u32 k = 0; k < count; k += 2) {
      cell name = *cells::get(series::node(&headers), series::index(&headers) + k);
      cell value = *cells::get(series::node(&headers), series::index(&headers) + k + 1);
      sent.emplace_back(text_of(&name, true), text_of(&value, false));
    }
  }
  std::unique_ptr<curl_slist, slist_deleter> list;
  auto add = [&](const std::string& line) {
    curl_slist* l = libcurl->slist_append(list.get(), line.c_str());
    if (!l) no_connect(&url, "out of memory");
    list.release();
    list.reset(l);
  };
  for (const char* optional : {"Accept", "Content-Type", "Expect", "User-Agent"}) {
    bool given = false;
    for (const auto& h : sent) given = given || lower(h.first) == lower(optional);
    if (!given) add(std::string(optional) + ":");
  }
  for (const auto& [name, value] : sent) {
    if (name.find_first_of("\r\n:") != std::string::npos || name.empty() ||
        value.find_first_of("\r\n") != std::string::npos) {
      // A line break would start another header (or the body) of the caller's making.
      cell bad{TYPE_UNSET, 0, 0, 0};
      collector::root_guard keep_bad(&bad);
      std::string t = name.empty() || name.find_first_of("\r\n:") != std::string::npos ? name
                                                                                       : value;
      string::load_at(t.data(), static_cast<u32>(t.size()), &bad, string::ENCODING_UTF8);
      fire("script", "invalid-arg", &bad);
    }
    // "Name;" sends a header with an empty value; "Name:" would remove it.
    add(value.empty() ? name + ";" : name + ": " + value);
  }

  cell encoded{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_enc(&encoded);
  string::make_at(&encoded, 64);
  url::encode(&url, -1, url::KEEP_SAFE, &encoded);
  std::string target = string::to_utf8(&encoded);

  std::unique_ptr<CURL, curl_deleter> curl(libcurl->easy_init());
  if (!libcurl) no_connect(&url, "the HTTP client could not start");
  CURL* c = curl.get();
  char error[CURL_ERROR_SIZE] = {0};
  reply r;
  libcurl->easy_setopt(c, CURLOPT_URL, target.c_str());
  libcurl->easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  libcurl->easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  libcurl->easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  libcurl->easy_setopt(c, CURLOPT_MAXREDIRS, 20L);
#if LIBCURL_VERSION_NUM >= 0x075500
  libcurl->easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  libcurl->easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
  libcurl->easy_setopt(c, CURLOPT_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS);
  libcurl->easy_setopt(c, CURLOPT_REDIR_PROTOCOLS, CURLPROTO_HTTP | CURLPROTO_HTTPS);
#endif
  libcurl->easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  libcurl->easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  libcurl->easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 60L);
  libcurl->easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  libcurl->easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 30L);
  libcurl->easy_setopt(c, CURLOPT_HTTPHEADER, list.get());
  libcurl->easy_setopt(c, CURLOPT_HEADERFUNCTION, on_header);
  libcurl->easy_setopt(c, CURLOPT_HEADERDATA, &r);
  libcurl->easy_setopt(c, CURLOPT_WRITEFUNCTION, on_body);
  libcurl->easy_setopt(c, CURLOPT_WRITEDATA, &r);
  if (verb == "HEAD") {
    libcurl->easy_setopt(c, CURLOPT_NOBODY, 1L);
  } else if (verb != "GET") {
    libcurl->easy_setopt(c, CURLOPT_POST, 1L);
    libcurl->easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
    libcurl->easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    if (verb != "POST") libcurl->easy_setopt(c, CURLOPT_CUSTOMREQUEST, verb.c_str());
  }
  CURLcode rc = libcurl->easy_perform(c);
  if (r.too_long) fire("script", "too-long");
  if (rc != CURLE_OK) no_connect(&url, error[0] ? error : libcurl->easy_strerror(rc));
  long status = 0;
  libcurl->easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  curl.reset();
  list.reset();

  cell body_bytes{TYPE_UNSET, 0, 0, 0}, body_value{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_bb(&body_bytes), keep_bv(&body_value);
  binary::make_at(&body_bytes, static_cast<u32>(r.body.size()));
  binary::rs_append(&body_bytes, reinterpret_cast<const u8*>(r.body.data()),
                    static_cast<u32>(r.body.size()));
  std::string().swap(r.body);
  simple_io::bytes_to_value(&body_bytes, binary, lines, &body_value, &url);
  if (!info) {
    *out = body_value;
    return out;
  }
  cell result{TYPE_UNSET, 0, 0, 0}, map{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep_r(&result), keep_map(&map);
  cells::make_block(&result, 3);
  cell code{TYPE_INTEGER, 0, static_cast<u32>(status), 0};
  cells::append(series::node(&result), &code);
  header_map(parse_headers(r.headers), &map);
  cells::append(series::node(&result), &map);
  cells::append(series::node(&result), &body_value);
  *out = result;
  return out;
}

const cell* read(cell* source, bool binary, bool lines, bool info) {
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep(&out);
  cell get = word::intern("get");
  request(&get, source, nullptr, nullptr, binary, lines, info, &out);
  return stack::set_result(&out);
}

const cell* write(cell* destination, const cell* value_in, bool binary, bool lines,
                  bool info) {
  cell value = *value_in;
  collector::root_guard keep_v(&value);
  cell out{TYPE_UNSET, 0, 0, 0};
  collector::root_guard keep(&out);
  u32 t = type_of(&value);
  if (t == TYPE_BLOCK) {
    // A request spec: [method [headers] data], each part optional from the end.
    u32 n = cells::remaining(&value);
    cell method = word::intern("get"), headers{TYPE_NONE, 0, 0, 0}, data{TYPE_NONE, 0, 0, 0};
    collector::root_guard keep_m(&method), keep_h(&headers), keep_d(&data);
    if (n >= 1) {
      method = *cells::get(series::node(&value), series::index(&value));
      if (type_of(&method) != TYPE_WORD) fire("script", "invalid-arg", &method);
    }
    if (n >= 2) {
      headers = *cells::get(series::node(&value), series::index(&value) + 1);
      if (type_of(&headers) != TYPE_BLOCK) fire("script", "invalid-arg", &headers);
    }
    if (n >= 3) data = *cells::get(series::node(&value), series::index(&value) + 2);
    request(&method, destination, n >= 2 ? &headers : nullptr, n >= 3 ? &data : nullptr,
            binary, lines, info, &out);
  } else if (t == TYPE_STRING || t == TYPE_BINARY) {
    cell post = word::intern("post");
    request(&post, destination, nullptr, &value, binary, lines, info, &out);
  } else {
    fire("script", "invalid-arg", &value);
  }
  return stack::set_result(&out);
}

}  // namespace vyr::http
