"""Type stubs of tradecore.demo: the README's demo session."""
from typing import List, Optional

def main(argv: Optional[List[str]] = ...) -> int: ...
