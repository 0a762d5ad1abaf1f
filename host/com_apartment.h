#ifndef VELMO_HOST_COM_APARTMENT_H_
#define VELMO_HOST_COM_APARTMENT_H_

#include <objbase.h>

// The main thread's single-threaded COM apartment, for as long as the object
// lives. It is left only when it was entered: a thread already in another
// kind of apartment keeps that one.
class ScopedComApartment {
 public:
  ScopedComApartment() : entered_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ScopedComApartment() {
    if (entered_) {
      CoUninitialize();
    }
  }

  ScopedComApartment(const ScopedComApartment&) = delete;
  ScopedComApartment& operator=(const ScopedComApartment&) = delete;

 private:
  bool entered_;
};

#endif  // VELMO_HOST_COM_APARTMENT_H_
