#include <QorUtils/xml/TopHandler.h>

TopHandler::TopHandler(ElementHandler* root) : ElementHandler(false) {
    AddHandler(root);
}

// The root is released with the other children by the base destructor, or already was, by a
// stray end event; deleting it here as well would release it twice.
TopHandler::~TopHandler() = default;
