#pragma once
// The forms of order entry that the other windows start (the risk window,
// the books, the depth window): the single basket form and the
// convert-position form. Order entry installs the real ones at start-up;
// until then a command that needs one tells the user it is not available.
// UI thread only.
#include <memory>
#include <string>

class QWidget;

// One leg of a basket.
struct BasketLeg {
    int sec_index = -1;
    int product_code = 0;
    long long quantity = 0; // units: lots x units per lot for a currency
    char side = ' ';
    double price = 0; // rupees
    // A leg of a cancel basket: the order it cancels.
    double order_no = 0;
    int disclosed = 0;
    double trigger = 0; // rupees
    std::string client_code;
};

class BasketService {
public:
    virtual ~BasketService() = default;
    // Clears the live form, or creates it (without showing it yet).
    virtual void reset() = 0;
    virtual void setClient(const std::string& clientCode) = 0;
    // 1 new orders (the default after reset), 2 cancel, 3 modify.
    virtual void setMode(int mode) { (void)mode; }
    // Leg 0..4.
    virtual void setLeg(int index, const BasketLeg& leg) = 0;
    // Refreshes a form that is shown, else shows the new one.
    virtual void refreshOrShow() = 0;
    // Destroys the live form (a sixth stock in a holdings basket).
    virtual void destroy() = 0;
};

class ConvertPositionService {
public:
    virtual ~ConvertPositionService() = default;
    // Queries the position and shows the convert form; false when an
    // existing form is busy. source: 1 an open position, 2 a today's one.
    virtual bool ShowConvertPositionForm(QWidget* parent, const std::string& clientCode, int secIndex,
                                         const std::string& exchangeName, int netQty, char side, int recordIndex,
                                         int source) = 0;
};

// The installed services; null until order entry installs them.
void SetBasketService(std::shared_ptr<BasketService> service);
BasketService* InstalledBasketService();
void SetConvertPositionService(std::shared_ptr<ConvertPositionService> service);
ConvertPositionService* InstalledConvertPositionService();
