// FI::Display: the abstract view that a module attaches to an entry (Entry::SetDisplay). Not
// counted: whoever creates a display deletes it through its public virtual destructor; an entry
// given a display only borrows it. The library never calls these operations. One thread at a time.
#pragma once

#include <QorUtils/Export.h>

namespace FI {

class QORUTILS_API Display {
public:
    virtual ~Display();
    // Makes the view visible.
    virtual void Show() = 0;
    // Hides the view without destroying it.
    virtual void Hide() = 0;
    // Whether the view is visible.
    virtual bool IsVisible() = 0;
    // Redraws the view from the current values of its entry.
    virtual void Refresh() = 0;

protected:
    // Copied as part of a derived object (a deep clone, say).
    Display() = default;
    Display(const Display&) = default;
    Display& operator=(const Display&) = default;
};

} // namespace FI
