#!/usr/bin/env bash
# The administrative templates (packaging/policies/Kestrel.admx and en-US/Kestrel.adml) against
# themselves and the program:
#   - both are well-formed XML (xmllint);
#   - every $(string.ID) and $(presentation.ID) the ADMX names is in the ADML, and every
#     control of a presentation names an element of its policy;
#   - every policy writes Software\Policies\Kestrel, and the value names the policies write are
#     exactly the ones the program reads (the policy names in src/app/Policies.h).
# Microsoft's schema of these files is not published with Debian, so no schema validation here.
# Prints one "PASS name" or "FAIL name" line per check.
#   scripts/policy-templates-test.sh [SOURCE_FOLDER]
set -uo pipefail
here=${1:-$(cd "$(dirname "$0")/.." && pwd)}
admx=$here/packaging/policies/Kestrel.admx
adml=$here/packaging/policies/en-US/Kestrel.adml
header=$here/src/app/Policies.h
failures=0
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}
pass() { echo "PASS $*"; }
if ! command -v xmllint >/dev/null; then
    echo "FAIL xmllint is not installed (scripts/install-deps.sh installs libxml2-utils)"
    exit 1
fi

for file in "$admx" "$adml"; do
    if xmllint --noout "$file"; then pass "well-formed $(basename "$file")"; else fail "well-formed $file"; fi
done

# xpath EXPRESSION FILE: the values the expression selects, one a line (namespaces ignored
# through local-name(), as the files have a default namespace).
xpath() {
    xmllint --xpath "$1" "$2" 2>/dev/null | sed -E 's/^ *[a-zA-Z]+="([^"]*)"$/\1/' |
        tr ' ' '\n' | sed -E 's/^[a-zA-Z]+="([^"]*)"$/\1/' | grep -v '^$'
}
attribute_values() {  # attribute name, file: every value of that attribute anywhere
    grep -o "$1=\"[^\"]*\"" "$2" | sed -E "s/^$1=\"([^\"]*)\"$/\1/"
}

# --- strings and presentations -----------------------------------------------------------
strings=$(xpath '//*[local-name()="stringTable"]/*[local-name()="string"]/@id' "$adml" | sort)
presentations=$(xpath '//*[local-name()="presentation"]/@id' "$adml" | sort)
named_strings=$(grep -o '\$(string\.[A-Za-z0-9_]*)' "$admx" | sed -E 's/^\$\(string\.(.*)\)$/\1/' | sort -u)
named_presentations=$(grep -o '\$(presentation\.[A-Za-z0-9_]*)' "$admx" |
    sed -E 's/^\$\(presentation\.(.*)\)$/\1/' | sort -u)
missing=$(comm -23 <(echo "$named_strings") <(echo "$strings"))
if [ -n "$named_strings" ] && [ -z "$missing" ]; then
    pass "every string the ADMX names is in the ADML ($(echo "$named_strings" | wc -l))"
else
    fail "strings the ADMX names but the ADML lacks: $missing"
fi
missing=$(comm -23 <(echo "$named_presentations") <(echo "$presentations"))
if [ -n "$named_presentations" ] && [ -z "$missing" ]; then
    pass "every presentation the ADMX names is in the ADML ($(echo "$named_presentations" | wc -l))"
else
    fail "presentations the ADMX names but the ADML lacks: $missing"
fi
# Each control of a presentation refers to an element of the policy that shows it.
for presentation in $named_presentations; do
    policy=$(xpath "//*[local-name()=\"policy\"][@presentation=\"\$(presentation.$presentation)\"]/@name" "$admx")
    elements=$(xpath "//*[local-name()=\"policy\"][@name=\"$policy\"]/*[local-name()=\"elements\"]/*/@id" "$admx" | sort)
    refs=$(xpath "//*[local-name()=\"presentation\"][@id=\"$presentation\"]/*/@refId" "$adml" | sort)
    if [ -n "$refs" ] && [ -z "$(comm -23 <(echo "$refs") <(echo "$elements"))" ]; then
        pass "presentation $presentation shows elements of policy $policy"
    else
        fail "presentation $presentation refers to '$refs', policy $policy has '$elements'"
    fi
done

# --- keys and values ----------------------------------------------------------------------
keys=$(attribute_values key "$admx" | sort -u)
if [ "$keys" = 'Software\Policies\Kestrel' ]; then
    pass "every policy writes Software\\Policies\\Kestrel"
else
    fail "the policies write the keys: $keys"
fi
written=$(attribute_values valueName "$admx" | sort -u)
read_names=$(sed -n '/^namespace policy {/,/^}/p' "$header" |
    sed -n -E 's/^inline constexpr const char\* [A-Za-z]+ = "([A-Za-z]+)";.*/\1/p' | sort -u)
if [ -z "$read_names" ]; then
    fail "no policy value names found in $header"
elif [ "$written" = "$read_names" ]; then
    pass "the templates write exactly the values the program reads ($(echo "$read_names" | wc -l))"
else
    fail "values written but not read: $(comm -23 <(echo "$written") <(echo "$read_names") | tr '\n' ' ')" \
        "read but not written: $(comm -13 <(echo "$written") <(echo "$read_names") | tr '\n' ' ')"
fi
# The spellings of the choices are the ones the program accepts.
ways=$(xpath '//*[local-name()="enum"][@valueName="WhenOutlookRuns"]//*[local-name()="string"]/text()' "$admx" | sort | tr '\n' ' ')
if [ "$ways" = "close skip snapshot " ]; then
    pass "WhenOutlookRuns offers close, snapshot and skip"
else
    fail "WhenOutlookRuns offers: $ways"
fi
[ "$failures" -eq 0 ]
