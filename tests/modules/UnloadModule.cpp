// A host module that COMTest loads with dlopen and unloads again, as a simulation system
// unloads a module it no longer needs. It asks an object for an interface, as host code asks
// the objects it is given, naming an identifier that the library's headers define.
#include <QorUtils/platform/COM.h>

extern "C" bool ModuleAsksForErrorHandler(IUnknown* object) {
    void* handler = nullptr;
    if (FAILED(object->QueryInterface(IID_ISAXErrorHandler, &handler))) {
        return false;
    }
    static_cast<IUnknown*>(handler)->Release();
    return true;
}
