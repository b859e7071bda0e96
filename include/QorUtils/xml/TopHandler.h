// TopHandler: the handler that stands above a document's root element and offers it to the
// application's root handler. It owns the root handler, which it keeps as its only child and
// releases exactly once, when it is destroyed (or earlier, should an end event arrive with no
// element open). Driven by one thread at a time, like the rest of the handler tree.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/xml/ElementHandler.h>

class QORUTILS_API TopHandler : public ElementHandler {
public:
    // Takes ownership of the root handler; a null root leaves a tree that skips every element.
    explicit TopHandler(ElementHandler* root);
    ~TopHandler() override;
};
