// VYR_ASSERT: a Debug build stops on a broken invariant with its place and condition; a
// release build compiles the check out without evaluating it.
#include <gtest/gtest.h>

#include "runtime/assert.h"

namespace {

#if VYR_ASSERTIONS
TEST(Assertions, AFailedAssertionReportsFileLineAndConditionAndAborts) {
  int three = 3;
  EXPECT_DEATH(VYR_ASSERT(1 + 1 == three),
               "assert_test\\.cpp:[0-9]+: assertion failed: 1 \\+ 1 == three");
  VYR_ASSERT(1 + 2 == three);  // a holding one goes on
}
#else
TEST(Assertions, AReleaseBuildNeverEvaluatesTheCondition) {
  int evaluated = 0;
  VYR_ASSERT(++evaluated == 5);
  EXPECT_EQ(evaluated, 0);
}
#endif

}  // namespace
