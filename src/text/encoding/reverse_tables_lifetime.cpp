// The process-wide ReverseTableSet and its lifetime: built by a static
// initialiser when the library is loaded, released by the static object's
// destructor, which the runtime's exit list of the library runs when it is
// unloaded. (A plain atexit from a shared library is not tied to it under
// ThreadSanitizer, whose atexit runs the function at process exit, after
// the library's code is gone.) Until the set is built, and after it is
// released, it is zero and lookups read the compressed records, so a
// conversion is correct at any time.
#include "text/encoding/reverse_tables.h"

namespace faultkit {
namespace {

ReverseTableSet g_process_tables;

struct ProcessTablesLifetime {
    ProcessTablesLifetime() { ReverseTablesLoad(&g_process_tables); }
    ~ProcessTablesLifetime() { ReverseTablesUnload(&g_process_tables); }
};

ProcessTablesLifetime g_lifetime;

}  // namespace

const ReverseTableSet& ProcessReverseTables() {
    return g_process_tables;
}

}  // namespace faultkit
