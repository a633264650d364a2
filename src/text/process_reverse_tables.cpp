// The process-wide ReverseTableSet and its lifetime: built by a static
// initialiser when the library is loaded, released from the runtime's exit
// list when it is unloaded (atexit in a shared library or DLL runs at
// unload). Until it is built the set is zero, and lookups read the
// compressed records, so a conversion is correct at any time.
#include <cstdlib>

#include "text/reverse_tables.h"

namespace faultkit {
namespace {

ReverseTableSet g_process_tables;

void UnloadProcessTables() {
    ReverseTablesUnload(&g_process_tables);
}

struct ProcessTablesLifetime {
    ProcessTablesLifetime() {
        ReverseTablesLoad(&g_process_tables);
        std::atexit(UnloadProcessTables);
    }
};

ProcessTablesLifetime g_lifetime;

}  // namespace

const ReverseTableSet& ProcessReverseTables() {
    return g_process_tables;
}

}  // namespace faultkit
