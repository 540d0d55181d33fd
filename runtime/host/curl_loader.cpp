// libcurl, loaded on the first HTTP request instead of at start-up: linked directly, it
// brings some thirty shared libraries (TLS, Kerberos, LDAP, IDN ...) that the dynamic
// loader would map and relocate on every start of vyr, most of which never goes online.
// These are the libcurl entry points the HTTP client uses; each forwards to the library's
// own, found on first use. When the library cannot be loaded, curl_global_init fails and
// the client reports that it could not start.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdarg>
#include <mutex>

namespace {

struct api {
  CURLcode (*global_init)(long);
  CURL* (*easy_init)();
  void (*easy_cleanup)(CURL*);
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
  CURLcode (*easy_perform)(CURL*);
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
  const char* (*easy_strerror)(CURLcode);
  curl_slist* (*slist_append)(curl_slist*, const char*);
  void (*slist_free_all)(curl_slist*);
  bool loaded;
};

const api& library() {
  static api a{};
  static std::once_flag once;
  std::call_once(once, [] {
    void* h = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!h) return;
    auto get = [h](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(h, name));
      return fn != nullptr;
    };
    a.loaded = get(a.global_init, "curl_global_init") & get(a.easy_init, "curl_easy_init") &
               get(a.easy_cleanup, "curl_easy_cleanup") & get(a.easy_setopt, "curl_easy_setopt") &
               get(a.easy_perform, "curl_easy_perform") &
               get(a.easy_getinfo, "curl_easy_getinfo") &
               get(a.easy_strerror, "curl_easy_strerror") &
               get(a.slist_append, "curl_slist_append") &
               get(a.slist_free_all, "curl_slist_free_all");
  });
  return a;
}

}  // namespace

extern "C" {

CURLcode curl_global_init(long flags) {
  const api& a = library();
  return a.loaded ? a.global_init(flags) : CURLE_FAILED_INIT;
}

CURL* curl_easy_init() {
  const api& a = library();
  return a.loaded ? a.easy_init() : nullptr;
}

void curl_easy_cleanup(CURL* c) {
  if (library().loaded) library().easy_cleanup(c);
}

// Every option takes one argument: a long, a pointer, a function pointer or a curl_off_t,
// all passed in one integer register (the calling conventions of x86-64 and AArch64), so
// it travels on as one pointer-sized word.
CURLcode curl_easy_setopt(CURL* c, CURLoption option, ...) {
  va_list ap;
  va_start(ap, option);
  void* param = va_arg(ap, void*);
  va_end(ap);
  const api& a = library();
  return a.loaded ? a.easy_setopt(c, option, param) : CURLE_FAILED_INIT;
}

CURLcode curl_easy_perform(CURL* c) {
  const api& a = library();
  return a.loaded ? a.easy_perform(c) : CURLE_FAILED_INIT;
}

CURLcode curl_easy_getinfo(CURL* c, CURLINFO info, ...) {
  va_list ap;
  va_start(ap, info);
  void* out = va_arg(ap, void*);
  va_end(ap);
  const api& a = library();
  return a.loaded ? a.easy_getinfo(c, info, out) : CURLE_FAILED_INIT;
}

const char* curl_easy_strerror(CURLcode code) {
  const api& a = library();
  return a.loaded ? a.easy_strerror(code) : "libcurl could not be loaded";
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
  const api& a = library();
  return a.loaded ? a.slist_append(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
  if (library().loaded) library().slist_free_all(list);
}

}  // extern "C"
