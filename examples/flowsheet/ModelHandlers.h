// The element handlers that read a model document into a ModelContext:
//
//   <model name="...">                    ModelHandler (the root handler)
//     <description>text</description>     DescriptionHandler
//     <stream name="..." branch="..." flow="..." temperature="..."/>   StreamHandler
//     <unit name="..." type="..." duty="...">                          UnitHandler
//       <inlet stream="..."/> <outlet stream="..."/>                  PortHandler
//
// Each handler accepts its element by local name in HandleElement and, when the element has
// elements of its own, adds the handlers for them there; the tree deletes those children when
// the element ends. Handlers borrow the context, which must outlive the parse. Problems in the
// document go to the error log through the handlers' message operations.
#pragma once

#include "flowsheet/ModelContext.h"

#include <QorUtils/QorUtils.h>

// The root handler: give it to a TopHandler, which offers it the document's root element.
class ModelHandler final : public ElementHandler {
public:
    explicit ModelHandler(ModelContext& model);
    bool HandleElement(char* name, MSXML2::ISAXAttributes* attributes,
                       MSXML2::ISAXLocator* locator) override;

private:
    ModelContext& m_model;
};
