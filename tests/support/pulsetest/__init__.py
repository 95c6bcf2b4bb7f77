"""Test support shared by every suite and the benchmark: the end-to-end
harness (Xvfb, the simulated sensor, the real program), X input and
screenshots, the window's layout, /proc meters and the port end of the
simulator's line."""
