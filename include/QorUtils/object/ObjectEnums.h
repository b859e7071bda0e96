// The enumerations and callback types that appear in the object model's signatures. Every
// enumeration is 32 bits wide; values beyond the named ones belong to the modules that use them
// and pass through the library unchanged. Plain types: nothing owned, no shared state.
#pragma once

#include <QorUtils/Export.h>
// Included whole: a declaration of the class alone would repeat its tag for the standard
// library's debug mode, which GCC warns about after the definition.
#include <QorUtils/messages/FIMessageChain.h>

#include <cstdint>

namespace FI {

// The order of two entries by name: exactly the results of FIAttribute::compare.
enum CompareOrder : int32_t {
    CompareBefore = -1,
    CompareEqual = 0,
    CompareAfter = 1,
    // The two names are of kinds that do not compare.
    CompareUnordered = -2,
};

// What Context::CreateCursor lists. A top context answers InclIdsNone with an empty cursor and
// every other value with its one-item cursor.
enum InclIds : int32_t {
    InclIdsAll = 0,
    InclIdsNone = 1,
};

} // namespace FI

// How a setter stores a value; the library's default setters ignore it.
enum FIStoreType : int32_t {
    FIStoreDefault = 0,
};

// Which solver Entry::GetSolver hands out; a top entry answers FISolverPrimary only.
enum FISolverType : int32_t {
    FISolverNone = 0,
    FISolverPrimary = 1,
};

// What an entry observer attached for. A dispatch with a non-zero argument tells the observers of
// FINotifyGeneral (with FINotifyGeneral); a dispatch with 0 tells every observer of any other
// type, each with its own type.
enum FINotifyType : int32_t {
    FINotifyGeneral = 0,
};

// What a solver observer is told; the library's default solver operations ignore it.
enum FISolverNotify : int32_t {
    FISolverNotifyDefault = 0,
};

// An entry observer: called with the observer's own pointer and the notification's type.
typedef void (*FIEntryNotifyProc)(void* pUser, FINotifyType type);
// A solver observer: called with the observer's own pointer, the event and the solver's messages.
typedef void (*FISolverNotifyProc)(void* pUser, FISolverNotify event, FI::FIMessageChain* messages);
