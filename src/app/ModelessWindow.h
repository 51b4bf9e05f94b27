#pragma once
// A global modeless tool window as the rest of the program sees it: a dialog object that lives for
// the whole run and gets its window on first use. It counts as open while its window exists.

class ModelessWindow
{
  public:
    virtual ~ModelessWindow() = default;
    // Whether the window has been created.
    virtual bool HasWindow() const = 0;
    // Creates the window (modeless, no parent), hidden unless visible is set; false when it could
    // not be made. A window that exists already is left as it is.
    virtual bool Create(bool visible) = 0;
    virtual bool IsVisible() const = 0;
    // Shows or hides an existing window.
    virtual void Show(bool show) = 0;
    // Closes the window and deletes it, so the next Create makes a new one that reads its settings
    // afresh. A window that is kept for the whole run is only hidden.
    virtual void Destroy() { Show(false); }
};
