// QorUtils umbrella header: everything a host module needs, in one include.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/Version.h>

#include <QorUtils/attribute/FIAttribute.h>
#include <QorUtils/log/FILog.h>
#include <QorUtils/messages/FIMessageChain.h>
#include <QorUtils/object/AttrCol.h>
#include <QorUtils/object/AttrCursor.h>
#include <QorUtils/object/AttributeTable.h>
#include <QorUtils/object/Connection.h>
#include <QorUtils/object/Context.h>
#include <QorUtils/object/Display.h>
#include <QorUtils/object/EmptyObjects.h>
#include <QorUtils/object/Entry.h>
#include <QorUtils/object/EntryCursor.h>
#include <QorUtils/object/EntryListCursor.h>
#include <QorUtils/object/FIError.h>
#include <QorUtils/object/FIUnitSource.h>
#include <QorUtils/object/ObjectEnums.h>
#include <QorUtils/object/ObjectPtr.h>
#include <QorUtils/object/Solver.h>
#include <QorUtils/platform/COM.h>
#include <QorUtils/platform/DebugOutput.h>
#include <QorUtils/platform/SAX.h>
#include <QorUtils/platform/SAXXMLReader.h>
#include <QorUtils/top/AttrMapBase.h>
#include <QorUtils/top/FITopEntry.h>
#include <QorUtils/top/TopContext.h>
#include <QorUtils/top/TopCursorBase.h>
#include <QorUtils/xml/ElementHandler.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/SAXErrorHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>
