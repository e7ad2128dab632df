// How a cut or merge job ended: saved, failed with a reason the user is told, or canceled.
#pragma once

#include <QString>

struct JobResult {
    enum class Kind {
        Saved,    // the output is in place at `outputPath`
        Failed,   // nothing is left behind; `reason` says why, in words for the user
        Canceled, // stopped on request; nothing is left behind
    };
    Kind kind = Kind::Failed;
    QString outputPath; // where the output is (Saved) or would have been
    QString reason;     // Failed: why; Saved: a note for the user (where a cut really starts)
    // The result code of the progress reports: 0 saved, 1 failed, 2 canceled.
    int code() const { return kind == Kind::Saved ? 0 : kind == Kind::Failed ? 1 : 2; }
};
