// HTTP and HTTPS requests for the url! actions, on libcurl: one synchronous request per
// call, redirects followed (to http and https only), certificates verified, a 60 s connect
// time-out and a 30 s low-speed limit. Only the caller's headers (or the defaults) plus Host
// and Content-Length go out: curl's own optional headers are suppressed.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "runtime/cell.h"

namespace vyr::http {

using header_list = std::vector<std::pair<std::string, std::string>>;

// The reply's header block parsed into (name, value) pairs in order: a line without a
// colon, the status line and blank lines are skipped; the value starts after the colon and
// any blanks and ends before the line's CR LF (or LF, or the end of the text); an empty
// value stays empty. Nothing past the end of the text is read.
header_list parse_headers(const std::string& text);

// Performs the request into `out` (not in a series buffer): `method` a word! (get, head,
// post or any other, sent upper-cased), `url` the url!, `headers` a block! of name/value
// pairs or null (the defaults then), `data` the body or null. The result is the body (a
// binary! with `binary`, else a string! or with `lines` a block! of strings); with `info`
// a block of the status (integer!), the header map! and the body. A failure raises access
// no-connect with the URL and curl's error text; a header block of an odd count raises
// script invalid-arg with its last name.
cell* request(const cell* method, const cell* url, const cell* headers, const cell* data,
              bool binary, bool lines, bool info, cell* out);

// The url! actions: read (GET) and write (a request spec block, or a POST body).
const cell* read(cell* source, bool binary, bool lines, bool info);
const cell* write(cell* destination, const cell* value, bool binary, bool lines, bool info);

}  // namespace vyr::http
