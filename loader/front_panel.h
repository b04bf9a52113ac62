#pragma once
// The front panel: the display operations the worker calls, on its own thread, to show the phase
// and progress of a run. This is what a window (or a console) implements.
//
// A front end that owns windows carries each call to its own thread and returns only when it has
// taken effect, in the order of the calls. Nothing else of a front end is known to the loader.

class CFrontPanel {
public:
    virtual ~CFrontPanel() = default;

    // A search for the device begins: the first of the run (search 1), or again after a failed
    // erase pass, before the first probe of it.
    virtual void OnSearching(int /*search*/) {}

    virtual void SetProgressPos(int position) = 0;
    // Animation hidden, status "Erasing Cluster", progress range 1 to 7.
    virtual void ShowErasing() = 0;
    // Status "Programming ", progress range 1 to lineCount ("File contains no data !" instead
    // when it is 0).
    virtual void ShowProgramming(int lineCount) = 0;
    // The idle display; clears the run flag (through the run controller). Also what the Stop
    // button does.
    virtual void OnStop() = 0;
    // Progress position 0, then OnStop().
    virtual void EndRun();
    // The worker has let go of the last run's link (and port): a window gives its inputs back
    // only now, so that a new Start cannot meet the old run.
    virtual void OnRunWoundDown() {}
    // The wait for the start command's reply has ended (reply 0: the device confirmed it), and
    // a write the device refused or did not answer. A window shows its box ("Transmission
    // complete.", "Protocollerror !"); a front end that tells the run's outcome itself
    // overrides them.
    virtual void ShowStartReply(int reply);
    virtual void ShowWriteFailed(int reply);
};
