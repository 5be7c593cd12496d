// Compiled as a file of platform/common: its own headers are found, Qt's are not,
// however the include is spelt.
#include "platform/failure.h"
#include "reg_document.h"
#define STORE_TEXT <QString>
#include STORE_TEXT
