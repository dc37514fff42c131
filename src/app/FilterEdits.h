#pragma once

#include <QLineEdit>

#include <cstdint>
#include <optional>

class QKeyEvent;

// The character code a key press types, as a character message would carry
// it (Backspace 8, Ctrl+C 3, Ctrl+V 22, ...); nothing for keys that edit or
// move without typing (Delete, arrows) and for the dialog's own keys (Enter,
// Esc, Tab), which go on to the dialog.
std::optional<uint32_t> TypedCharacter(const QKeyEvent& event);

// Number fields that let only some typed characters through; refused
// characters are dropped silently. Text set by the program or pasted from the
// context menu is taken as it is.
class CFilterEdit : public QLineEdit {
    Q_OBJECT
public:
    using Filter = bool (*)(uint32_t character);
    explicit CFilterEdit(Filter accepts, QWidget* parent = nullptr);
    ~CFilterEdit() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    Filter m_accepts;
};

class myedit : public CFilterEdit {
    Q_OBJECT
public:
    explicit myedit(QWidget* parent = nullptr) : CFilterEdit(&Accepts, parent) {}
    ~myedit() override;

    // Channel digits '1' to '4'.
    static bool Accepts(uint32_t character) { return character - 0x31u <= 3u; }
};

class myedit2 : public CFilterEdit {
    Q_OBJECT
public:
    explicit myedit2(QWidget* parent = nullptr) : CFilterEdit(&Accepts, parent) {}
    ~myedit2() override;

    // Decimal digits '0' to '9'.
    static bool Accepts(uint32_t character) { return character - 0x30u <= 9u; }
};
