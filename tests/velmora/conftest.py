"""Fixtures for the Velmora tests live in velmora_support (a uniquely named
module, so test files can import its helpers next to other test folders)."""

from velmora_support import mod, rec, world  # noqa: F401  (fixtures)
