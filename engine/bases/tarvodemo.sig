# The demo base of the stand-in engine: one signature for every kind of
# finding and every marker, so that each road of a scan can be exercised.
# Form of the lines: engine/vdbwriter.h. Patterns that match anywhere in an
# object are written in hex, so that this list does not hold them itself.
base title="Tarvo demo base" kind=1 stamp=100 key3=1 key3b=0 flag=0 key4=0 daily=0

# The standard anti-virus test file: the string at the start of the object.
infected      EICAR-Test-File            file  0  incurable  text:X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*

# One signature per finding class.
modification  Tarvo.Test.Modification    file  *  incurable  hex:54 41 52 56 4f 2d 54 45 53 54 2d 4d 4f 44 49 46 49 43 41 54 49 4f 4e
suspicious    Tarvo.Test.Suspicious      file  0  incurable  text:TARVO-TEST-SUSPICIOUS
adware        Tarvo.Test.Adware          file  0  incurable  text:TARVO-TEST-ADWARE
dialer        Tarvo.Test.Dialer          file  0  incurable  text:TARVO-TEST-DIALER
joke          Tarvo.Test.Joke            file  0  incurable  text:TARVO-TEST-JOKE
riskware      Tarvo.Test.Riskware        file  0  incurable  text:TARVO-TEST-RISKWARE
hacktool      Tarvo.Test.Hacktool        file  0  incurable  text:TARVO-TEST-HACKTOOL

# Curable: the match is overwritten with zeros, or the object is cut where
# an appended body begins.
infected      Tarvo.Test.Curable         file  0  wipe       text:TARVO-TEST-CURABLE
infected      Tarvo.Test.Appended        file  *  cut        hex:54 41 52 56 4f 2d 54 45 53 54 2d 41 50 50 45 4e 44 45 44

# A finding whose name ends in ".origin": the daemon treats the object as
# infected and incurable.
infected      Tarvo.Test.Origin.origin   file  0  incurable  text:TARVO-TEST-ORIGIN

# A boot-record signature, after the jump at the start of the sector.
infected      Tarvo.Test.Boot            boot  3  wipe       text:TARVO-TEST-BOOT-RECORD

# Markers: an object that starts with one reports these result bits.
marker        marker.read-error          file  0  read-error           text:TARVO-TEST-MARKER-READ-ERROR
marker        marker.crc-error           file  0  crc-error            text:TARVO-TEST-MARKER-CRC-ERROR
marker        marker.header-crc-error    file  0  header-crc-error     text:TARVO-TEST-MARKER-HEADER-CRC-ERROR
marker        marker.decompression-error file  0  decompression-error  text:TARVO-TEST-MARKER-DECOMPRESSION-ERROR
marker        marker.password            file  0  password             text:TARVO-TEST-MARKER-PASSWORD
marker        marker.split               file  0  split                text:TARVO-TEST-MARKER-SPLIT
marker        marker.no-memory           file  0  no-memory            text:TARVO-TEST-MARKER-NO-MEMORY
# A container member that the engine hands out again and again, and one
# that it answers with -1.
marker        marker.repeat              file  0  repeat               text:TARVO-TEST-MARKER-REPEAT
marker        marker.refuse              file  0  refuse               text:TARVO-TEST-MARKER-REFUSE
# A container member that the engine hands out endlessly under new names:
# the walk ends only when the scan is stopped (a time-out).
marker        marker.endless             file  0  endless              text:TARVO-TEST-MARKER-ENDLESS
