// QorUtils umbrella header: everything a host module needs, in one include.
#pragma once

#include <QorUtils/Export.h>

#include <QorUtils/attribute/FIAttribute.h>
#include <QorUtils/log/FILog.h>
#include <QorUtils/messages/FIMessageChain.h>
#include <QorUtils/platform/COM.h>
#include <QorUtils/platform/DebugOutput.h>
#include <QorUtils/platform/SAX.h>
#include <QorUtils/xml/ElementHandler.h>
#include <QorUtils/xml/SAXContentHandlerImpl.h>
#include <QorUtils/xml/SAXErrorHandlerImpl.h>
#include <QorUtils/xml/TopHandler.h>
