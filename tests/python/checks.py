"""Counted checks for the tests that are Python scripts: each failing check
is printed as it happens, and the summary gives the exit code."""


class Checks:
    def __init__(self):
        self.passed = 0
        self.failures = []

    def __call__(self, ok, what):
        if ok:
            self.passed += 1
        else:
            self.failures.append(what)
            print("FAILED:", what)

    def summary(self):
        """Prints the counts; 1 when a check failed, else 0."""
        print(f"{self.passed} checks passed, {len(self.failures)} failed")
        return 1 if self.failures else 0
