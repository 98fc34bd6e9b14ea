// ImportTable, the record through which the simulator hands the module its
// service table: it finds the record by name and writes the table's address
// into it before the module's start.
#include "gauge/service_table.h"

#include "platform/platform.h"

extern "C" {
KEYWATCH_EXPORT IMPORT_TABLE ImportTable = {
    {IMPORT_PANELS_ID, nullptr}, // the simulator sets its service table here
    {0, nullptr},
};
}

PANELS* service_table() {
    return ImportTable.panels.table;
}

void set_service_table(PANELS* table) {
    ImportTable.panels.table = table;
}

void reset_service_table_state() {
    ImportTable.panels.table = nullptr;
}
