// The C++ runtime's errors as our programs see them. The win32 build has its own throw
// helpers (platform/win32/ThrowHelpers.cpp), the native build the runtime's: both must raise a
// std::exception with the runtime's message, its arguments filled in.
#include <gtest/gtest.h>

#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

template <typename F>
std::string MessageOf(F f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(nothing raised)";
}

}  // namespace

TEST(RuntimeErrors, BoundsErrorsCarryTheRuntimesMessageWithItsNumbers) {
  const std::string abc = "abc";
  EXPECT_EQ(MessageOf([&] { (void)abc.at(7); }), "basic_string::at: __n (which is 7) >= this->size() (which is 3)");
  EXPECT_EQ(MessageOf([&] { (void)abc.substr(12345678); }),
            "basic_string::substr: __pos (which is 12345678) > this->size() (which is 3)");
  std::vector<int> empty;
  EXPECT_EQ(MessageOf([&] { (void)empty.at(0); }),
            "vector::_M_range_check: __n (which is 0) >= this->size() (which is 0)");
}

TEST(RuntimeErrors, ConversionAndLengthErrorsAreStdExceptions) {
  EXPECT_EQ(MessageOf([] { (void)std::stoi("x"); }), "stoi");
  EXPECT_EQ(MessageOf([] { (void)std::stoi("99999999999"); }), "stoi");
  std::string s;
  EXPECT_EQ(MessageOf([&] { s.reserve(s.max_size() + 1); }), "basic_string::_M_create");
  EXPECT_EQ(MessageOf([] { std::vector<int>().reserve(std::vector<int>().max_size() + 1); }), "vector::reserve");
}

#ifdef _WIN32
TEST(RuntimeErrors, TheWin32BuildRaisesNoneOfTheRuntimesLogicErrorKinds) {
  // Their message is the runtime's copy-on-write string, which this build does not link.
  try {
    (void)std::string().at(1);
    ADD_FAILURE() << "nothing raised";
  } catch (const std::logic_error&) {
    ADD_FAILURE() << "the runtime's own throw helper was linked";
  } catch (const std::exception&) {
  }
}
#endif
