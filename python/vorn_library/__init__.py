"""Technical-analysis indicators computed in native code."""
from . import vorn_library
from .vorn_library import *  # noqa: F401,F403

__all__ = list(vorn_library.__all__)
