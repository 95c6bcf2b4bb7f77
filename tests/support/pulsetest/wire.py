"""What goes over the line and into a record file, as the tests expect it."""

# The three commands that every successful port selection sends.
INITIAL_COMMANDS = bytes.fromhex("20 34 00 20 35 00 20 37 00")
START_STREAM = bytes.fromhex("20 32")
STOP_STREAM = bytes.fromhex("20 33")

RECORD_SIZE = 1146
