"""The bootstrapper's control and resource ids, read from the C++ headers
that define them, so that the tests and the demo name a control as the code
does: control_ids.IDC_PREREQ_LIST, control_ids.kNextButton."""
import os
import re

SOURCE = os.environ.get("KORVELT_SOURCE", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
# The headers that define ids, by their path in the source tree.
HEADERS = ("resources/resource_ids.h", "wizard/pages_win.h")
# A definition on a line of its own: "#define NAME 1002" or
# "constexpr int NAME = 12324;".
DEFINITION = re.compile(r"\s*(?:#define\s+(\w+)\s+(\d+)|constexpr\s+[\w:]+\s+(\w+)\s*=\s*(\d+)\s*;)\s*(?://.*)?$")


def read(headers=HEADERS):
    """The ids the headers define, by name."""
    ids = {}
    for header in headers:
        with open(os.path.join(SOURCE, header)) as lines:
            for line in lines:
                match = DEFINITION.match(line)
                if match:
                    ids[match.group(1) or match.group(3)] = int(match.group(2) or match.group(4))
    return ids


# Windows' own: the Cancel button of a dialog or of the wizard's sheet.
IDCANCEL = 2
globals().update(read())
