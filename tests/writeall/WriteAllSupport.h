#pragma once
// The write-all and fetch-all helpers under the names the reader-run tests elsewhere use; they
// are the reader tests' own.
#include "readers/ReaderTestSupport.h"

namespace WriteAllTest {
using namespace ReaderTest;
inline void ClearAll(CStoreDB_Handler& store) { ClearTables(store); }
} // namespace WriteAllTest
