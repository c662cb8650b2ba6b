#pragma once
// Runs forms: modally (the caller gets the outcome the form was finished
// with) or modeless. Production runs a nested event loop; tests install a
// host that runs a script against the form instead.
namespace ui {

class Form;

class ModalHost {
public:
    virtual ~ModalHost() = default;
    // UI thread. Prepares the form (its onInit), runs it and returns the
    // outcome it was finished with.
    virtual int run(Form& form) = 0;
    // UI thread. Prepares and shows the form; it stays open on its own.
    virtual void showModeless(Form& form) = 0;
};

class QtModalHost final : public ModalHost {
public:
    int run(Form& form) override;
    void showModeless(Form& form) override;
};

// The process-wide host: a QtModalHost unless another is installed. The host
// must outlive its installation.
ModalHost& modalHost();
void setModalHost(ModalHost* host); // nullptr restores the Qt host

} // namespace ui
