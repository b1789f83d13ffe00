"""Fixtures for the Python tests. They run against whichever ``tradecore`` Python imports: the
installed package (``pip install .``) or a build tree's staged copy
(``PYTHONPATH=<build>/python``)."""
import pytest

import tradecore


@pytest.fixture(scope="session")
def tc():
    """The package, as a strategy imports it."""
    return tradecore


@pytest.fixture(scope="session")
def ext():
    """The extension module itself."""
    return tradecore._tradecore
