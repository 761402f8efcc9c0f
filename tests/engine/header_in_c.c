/* vestral.h must compile as plain C, its compile-time layout checks included. */
#include "vestral.h"

int vestralHeaderCompilesAsC(void) {
    EventRecord record = {0};
    return (int)sizeof(record) + (int)offsetof(EventRecord, Tag);
}
