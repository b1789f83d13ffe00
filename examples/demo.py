"""The README's demo: a complete trading session against the simulated broker's paper front.

    python examples/demo.py [--seconds N] [--quiet] [--front ADDRESS]

The strategy itself lives in the installed package, so that ``python -m tradecore.demo`` runs
the same code; read it in python/tradecore/demo.py (or ``tradecore.demo.__file__``).
"""
import sys

from tradecore.demo import main

if __name__ == "__main__":
    sys.exit(main())
