// FI::Solver: the abstract calculation engine attached to an entry. Not counted: whoever owns a
// solver deletes it through its public virtual destructor (a top entry owns the solver given to
// it). Runs report through a message chain, which the caller owns. Every optional operation has a
// default; the seven abstract ones belong to the module. One thread at a time.
#pragma once

#include <QorUtils/Export.h>
#include <QorUtils/attribute/FIAttribute.h>
#include <QorUtils/messages/FIMessageChain.h>
#include <QorUtils/object/ObjectEnums.h>

namespace FI {

class QORUTILS_API Solver {
public:
    virtual ~Solver();
    // The solver's name as shown to a user.
    virtual FIAttribute& GetSolverName(FIAttribute& name) = 0;
    // Prepares a run, reporting problems into `messages`; false when the solver cannot run.
    virtual bool Initialize(FIMessageChain& messages) = 0;
    // Releases what Initialize acquired; the solver may be initialised again.
    virtual void Terminate() = 0;
    // Runs up to `time`. Default: one "Not Supported" message (severity -1, 0, 0) appended.
    virtual FIMessageChain& SynchronousExecute(double time, FIMessageChain& messages);
    // Runs to the end. Default: one "Not Supported" message (severity -1, 0, 0) appended.
    virtual FIMessageChain& SynchronousExecute(FIMessageChain& messages);
    // Starts a run up to `time` in the background. Default: false.
    virtual bool AsynchronousExecute(double time);
    // Starts a run to the end in the background. Default: false.
    virtual bool AsynchronousExecute();
    // Whether a background run is still in progress.
    virtual bool IsRunning() = 0;
    // Appends the messages of the last background run to `messages` and returns it.
    virtual FIMessageChain& CollectMessages(FIMessageChain& messages) = 0;
    // Default: nothing.
    virtual void Stop();
    // Default: nothing.
    virtual void Restart();
    // The solver's current time. Default: 0.0.
    virtual double GetTickCount();
    // Default: nothing.
    virtual void SetCurrentTime(double time);
    // Default: clears `state`.
    virtual FIAttribute& SaveState(FIAttribute& state);
    // Default: false, whatever the state.
    virtual bool RestoreState(FIAttribute state);
    // Default: false, nothing kept.
    virtual bool AttachNotify(void* pUser, FISolverNotify event, FISolverNotifyProc pfn);
    // Default: false.
    virtual bool DetachNotify(void* pUser, FISolverNotify event);

protected:
    // Copied as part of a derived object (a deep clone, say).
    Solver() = default;
    Solver(const Solver&) = default;
    Solver& operator=(const Solver&) = default;
};

} // namespace FI
