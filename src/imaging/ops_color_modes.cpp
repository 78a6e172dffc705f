#include "imaging/operation_table.h"

// Entries are added as the operations of this family land.
std::vector<OperationSpec> GL_ColorModeOperations() { return {}; }
