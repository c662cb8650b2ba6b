#pragma once
// The library is built with hidden visibility; exactly the classes that the
// program links against carry ORNWICK_API and so keep default visibility.
#define ORNWICK_API __attribute__((visibility("default")))
