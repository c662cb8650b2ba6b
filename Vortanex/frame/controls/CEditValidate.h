#pragma once
// An edit that removes unwanted characters as they are typed or pasted and
// leaves the caret at the end; optionally upper-case, like an edit of that
// style.
#include <QLineEdit>

class CEditValidate : public QLineEdit {
    Q_OBJECT
public:
    explicit CEditValidate(QWidget* parent = nullptr);

    virtual void SetForbiddenChars(const QString& chars) { m_forbidden = chars; }
    const QString& ForbiddenChars() const { return m_forbidden; }
    void SetUpperCase(bool on) { m_upperCase = on; }
    bool UpperCase() const { return m_upperCase; }

protected:
    // Runs on every change of the text.
    virtual void OnChange();
    // Removes the characters; true when something was removed (the text is
    // then replaced and the caret put at its end).
    bool RemoveChars(const QString& chars);

private:
    QString m_forbidden;
    bool m_upperCase = false;
};

// The same edit with its own forbidden characters that also moves the focus
// on (a Tab) as soon as the text reaches the edit's limit.
class CEditGridCtrl : public CEditValidate {
    Q_OBJECT
public:
    explicit CEditGridCtrl(QWidget* parent = nullptr);

    void SetForbiddenChars(const QString& chars) override { m_ownForbidden = chars; }
    const QString& OwnForbiddenChars() const { return m_ownForbidden; }

protected:
    void OnChange() override;

private:
    QString m_ownForbidden;
};
