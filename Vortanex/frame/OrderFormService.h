#pragma once
// What the rest of the program needs of order entry to open the one order
// form: the order parameters and a small service that creates or reuses the
// form and shows it. Until order entry installs its form, a stand-in service
// logs each request and opens nothing.
#include "pf/threads.h"

#include <string>
#include <vector>

class QWidget;

// The values of one opening, as the order form takes them.
struct OrderFormParams {
    int index = -1;          // security index in mode 1; else the record's index for the mode
    char side = 'B';         // 'B' buy, 'S' sell
    short scripType = 0;
    int quantity = 0;
    int orderMark = -1;      // delivery mark / product; -1 or 0: the default of the settings
    std::string clientCode;  // empty: the active client
    short tslKind = 0;       // 0 none; 1 to 5 trailing stop-loss and bracket kinds (5: research call)
    int companionIndex = -1; // the same scrip on the other exchange; -1 none
    double price = 0.0;      // rupees
    std::vector<std::string> callFields; // the research call's fields, with tslKind 5
};

class OrderFormService {
public:
    virtual ~OrderFormService() = default;
    // Creates the single form on first use or reuses it and fills it for the
    // mode (form type); false when it refused (a request in process) or failed.
    virtual bool getInstance(int formType, QWidget* parent, const OrderFormParams& params) = 0;
    // Shows the form that getInstance set up, in its default way.
    virtual void showForm() = 0;
};

// Installs order entry's service (nullptr restores the stand-in). The service
// must outlive its installation. UI thread.
void SetOrderFormService(OrderFormService* service);
OrderFormService& CurrentOrderFormService();

// The order-form lock: held while the form is being opened, and by the form's
// own code that must not run during an opening. Re-entrant, because the
// opening may show a box whose nested event loop opens the form again.
pf::ReentrantLock& OrderFormLock();
