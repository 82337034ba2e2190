import sys
from pathlib import Path

# Lets test modules import the small shared helpers that live beside them.
sys.path.insert(0, str(Path(__file__).resolve().parent))
