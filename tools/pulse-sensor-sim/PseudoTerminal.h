#pragma once

#include <string>

// The simulator's end of a pseudo-terminal pair. The far side (the slave) is
// what the program opens as its serial port.
//
// The simulator keeps a handle of its own on the far side: without one, the
// near side polls as hung up once the program has opened and closed its end.
// It also watches the far side's device node for opens and closes by others,
// so that it knows when nobody listens and can clean up after a program that
// was killed with the port still open.
class PseudoTerminal
{
public:
    PseudoTerminal() = default;
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;
    ~PseudoTerminal();

    bool open(std::string *why);
    // Closes everything at once: the program sees its line hang up.
    void close();

    int master() const { return master_; }
    int farSide() const { return slave_; }
    int watch() const { return watch_; }
    const std::string &farPath() const { return farPath_; }

    // Takes in the open and close notices waiting on watch().
    void readWatch();
    // True while some other process has the far side open.
    bool othersListening() const { return othersOpen_ > 0; }

private:
    void lastOtherClosed();

    int master_ = -1;
    int slave_ = -1;
    int watch_ = -1;
    int othersOpen_ = 0;
    std::string farPath_;
};
