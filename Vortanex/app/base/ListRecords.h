#pragma once
// The rows of the two small lists the broker publishes beside the security
// master: watch-list categories and the broker's services. The settings
// record keeps the services list, so the rows live below the server code
// that downloads them.
#include "app/base/FixedText.h"

struct CategoryRecord {
    int id = 0;
    FixedText<32> group;
    FixedText<75> name;
};

struct ServiceRecord {
    FixedText<256> name;
    int id = 0;
    int subscribed = 0;
};
