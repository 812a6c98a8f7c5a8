#pragma once

// The data, string and list classes of the support library.
#include "CData.h"
#include "CPointerList.h"
#include "CPrinTable.h"
#include "CString.h"

namespace SDO {

// Each including unit holds its own copies of these.
[[maybe_unused]] static CPrinTable PrinTable;
[[maybe_unused]] static CString invalid("null");
[[maybe_unused]] static CString empty(" ");

} // namespace SDO
