#pragma once

#include "acquire/RecordWriter.h"
#include "link/SerialService.h"

#include <QString>

// Something the operator must be told, as facts; the window puts it into words.
struct SessionNotice
{
    enum class Kind {
        PortNotOpen,      // a control needs the port
        PortNotOpened,    // a pick failed: `open` says why
        PortLost,         // the open port went away
        RecordNotSaved,   // `record`, `save` says why
        IndexLineMissing, // `record` saved, its index line not: `save` says why
        StopWithoutPort,  // `record` saved, the stop command not sent
        RecordingFailed,  // the session recording in folder `record` stopped or could not begin: `save.problem`
        RecordingBehind,  // the disk under folder `record` fell so far behind that samples were left out
    };
    Kind kind = Kind::PortNotOpen;
    SerialService::OpenError open {};
    QString record;
    RecordWriter::Saved save {};
};
