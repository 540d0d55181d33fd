// The module's side of the host API: the one pointer to the executable's table.
#include "runtime/api/host.h"

namespace vyr::api {

namespace detail {
const host_table* bound = nullptr;
}

bool bind(const host_table* table) {
  if (!table || table->size < sizeof(host_table)) return false;
  detail::bound = table;
  return true;
}

}  // namespace vyr::api
