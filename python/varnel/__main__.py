"""python3 -m varnel: see varnel.cli."""
import sys

from .cli import main

sys.exit(main())
