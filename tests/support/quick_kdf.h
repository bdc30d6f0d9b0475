#pragma once

#include "engine/driver.h"
#include "protect/strong_key.h"

// The strong format's key derivation at the least cost a footer may record, for tests that
// are not about the cost. The product's cost (128 MiB, 12 passes) takes seconds per masking
// or restore under the sanitizers; a workbook records the cost it was masked with, so its
// restore is as quick. The product's default is tested as it is (KDF_DEFAULT).
namespace hsc::test {

inline constexpr KdfCost QUICK_KDF = KDF_READ_MIN;

// `options` with that cost.
inline ProcessOptions quick_kdf(ProcessOptions options = {}) {
    options.kdf_cost = QUICK_KDF;
    return options;
}

// The variable through which a test build of the command-line program takes a cost,
// "PASSES,BYTES"; test_cli sets it for every program it starts. Release builds do not
// read it.
inline constexpr const char* KDF_COST_ENV = "HUSHCEL_TEST_KDF_COST";

}  // namespace hsc::test
