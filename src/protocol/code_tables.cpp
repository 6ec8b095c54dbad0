// Work in progress: filled by its owner.
#include "code_tables.h"
