// SPDX-License-Identifier: GPL-3.0-or-later
// Holds back user input while the test sequence sleeps between polling
// steps: the windows keep repainting, mouse clicks and the close box do
// nothing, and keyboard events (press or release) are queued per window for
// the sequence to take one at a time, as it would peek them from a queue.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <optional>

class CInputHold : public QObject {
public:
    CInputHold();
    ~CInputHold() override;

    // Held while at least one Begin has no End.
    void Begin();
    void End();
    bool IsHolding() const { return depth > 0; }

    // Removes the first queued key of `window` (a top-level widget) and
    // returns its code; keys of other windows stay queued.
    std::optional<std::uint32_t> TakeKey(const QWidget* window);
    // Drops every queued key: a modal loop that starts would have handed
    // them to the controls.
    void Discard() { keys.clear(); }
    std::size_t QueuedKeys() const { return keys.size(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct HeldKey {
        QPointer<QWidget> window;
        std::uint32_t code;
    };

    int depth = 0;
    bool installed = false;
    std::deque<HeldKey> keys;
};

// The virtual-key code the sequence compares (Esc is 27); 0 for keys it has no code for.
std::uint32_t VirtualKeyCode(int qtKey);
