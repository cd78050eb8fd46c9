#!/usr/bin/env bash
# The machine the figures come from, and how busy it was when they were taken.
set -euo pipefail
echo "== $(date '+%Y-%m-%d %H:%M:%S %Z'), $(uname -sr), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "nproc: $(nproc)"
lscpu | grep -E '^(Architecture|Model name|CPU\(s\)|Thread\(s\) per core|Core\(s\) per socket|Hypervisor vendor|L1d cache|L2 cache|L3 cache):'
free -h
echo "compiler: $(g++ --version | head -1)"
