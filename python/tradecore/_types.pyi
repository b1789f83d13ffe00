"""Type stubs of tradecore._types: the package's typing names, declared in the package stub."""
from typing import List, Tuple

from . import (ApiStatusCode as ApiStatusCode, Char as Char, CombineOrderTypeCode as CombineOrderTypeCode,
               CreditQuotaTypeCode as CreditQuotaTypeCode, DirectionCode as DirectionCode,
               EngineHandle as EngineHandle, ExchangeIDCode as ExchangeIDCode, GeneralProcessor as GeneralProcessor,
               LoopFunction as LoopFunction, NoCode as NoCode, OffsetFlagCode as OffsetFlagCode,
               OrderProcessor as OrderProcessor, OrderStatusCode as OrderStatusCode, OrderTypeCode as OrderTypeCode,
               PasswordFlagCode as PasswordFlagCode, Pointer as Pointer, RunModeCode as RunModeCode,
               SecurityList as SecurityList, SwigPyObject as SwigPyObject, TransferFlagCode as TransferFlagCode,
               TransferStatusCode as TransferStatusCode)

__all__: List[str]
CODE_FAMILIES: Tuple[Tuple[str, str], ...]
