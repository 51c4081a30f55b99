"""The converters' files in VTK: vtkVoxReader reads the legacy layout without a DATASET line."""
from vtkmodules import vtkCommonCore, vtkCommonDataModel, vtkCommonExecutionModel  # noqa: F401

from .voxViewer import vtkVoxReader  # noqa: F401
