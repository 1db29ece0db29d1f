"""Smoke check of the test bed beneath every scenario: how Wine's traced strings are read."""

import scenario
import winedriver as wd


class WineDriver(scenario.Scenario):
    def test_traced_strings(self):
        for traced, text, truncated in [
                (r'L"Two\nlines"', "Two\nlines", False),
                (r'L"Say \"yes\"? C:\\Temp \00e9t\00e9\t\r"', 'Say "yes"? C:\\Temp \u00e9t\u00e9\t\r', False),
                ('L"0123456789"...', "0123456789", True), ("(null)", None, False)]:
            self.assertEqual((text, truncated), wd.decode_debugstr(traced), traced)
        self.assertEqual("C:\\Program Files", self.prefix.windows_path(self.drive_c("Program Files")))
        self.assertEqual(self.drive_c("Program Files"), self.prefix.unix_path("C:\\Program Files"))


if __name__ == "__main__":
    scenario.main()
