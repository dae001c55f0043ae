// Windows tests run on a single-threaded apartment, like the browser's user-interface thread.

#include <gtest/gtest.h>

#include <ole2.h>

#include <cstdio>

namespace {

class OleApartment {
 public:
  OleApartment() : m_hr(OleInitialize(nullptr)) {}
  OleApartment(const OleApartment&) = delete;
  OleApartment& operator=(const OleApartment&) = delete;
  ~OleApartment() {
    if (SUCCEEDED(m_hr)) OleUninitialize();
  }
  HRESULT Result() const { return m_hr; }

 private:
  HRESULT m_hr;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const OleApartment apartment;
  if (FAILED(apartment.Result())) {
    std::fprintf(stderr, "OleInitialize failed: 0x%08lx\n", apartment.Result());
    return 2;
  }
  return RUN_ALL_TESTS();
}
