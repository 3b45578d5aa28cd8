#pragma once

#include <QWidget>

#include <array>
#include <cstdint>

class QLineEdit;

namespace quillon
{

// An IPv4 address typed as four octets. A dot or a third digit moves on to the next octet,
// Backspace in an empty octet goes back, a pasted "a.b.c.d" fills all four, and Tab leaves the
// control as a whole.
class IpAddressEdit : public QWidget
{
    Q_OBJECT
public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    // First octet in the top byte; blank octets count as 0.
    uint32_t address() const;
    // True while every octet is empty.
    bool isBlank() const;
    void clear();
    // "a.b.c.d" (blanks as 0); a text that is not four dotted numbers of 0..255 is refused.
    bool setText(const QString& text);
    QString text() const;

    QLineEdit* octetField(int index) const { return fields_[index]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int indexOf(QObject* field) const;
    void focusField(int index, bool selectAll);
    void octetEdited(int index);
    void leave(bool forward);

    std::array<QLineEdit*, 4> fields_{};
};

} // namespace quillon
