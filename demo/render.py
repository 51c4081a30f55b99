"""Renders a slice through the middle of a volume file, across z, in grey scale with its colour
bar, as a picture of 480 x 400 pixels: the slice's centre at pixel (200, 200), 5 pixels a unit of
length, on white.

Usage: xvfb-run -a pvbatch render.py VOLUME.vtk PICTURE.png
The converters' files open with ParaView's usual OpenDataFile once the plugin is on its path."""
import os
import sys

from paraview import simple

volume_path, picture_path = sys.argv[1:3]
volume = simple.OpenDataFile(volume_path)
if volume is None:
    sys.exit("No reader opens " + volume_path)
volume.UpdatePipeline()
x0, x1, y0, y1, z0, z1 = volume.GetDataInformation().GetBounds()
centre = [(x0 + x1) / 2, (y0 + y1) / 2, (z0 + z1) / 2]
# ParaView names the point array as the file names it.
samples = volume.PointData.keys()[0]

middle = simple.Slice(Input=volume)
middle.SliceType = "Plane"
middle.SliceType.Origin = centre
middle.SliceType.Normal = [0, 0, 1]

view = simple.CreateView("RenderView")
view.ViewSize = [480, 400]
view.OrientationAxesVisibility = 0
view.UseColorPaletteForBackground = 0
view.Background = [1, 1, 1]
shown = simple.Show(middle, view)
# The samples' own grey, unshaded.
shown.Ambient = 1.0
shown.Diffuse = 0.0
simple.ColorBy(shown, ("POINTS", samples))
colours = simple.GetColorTransferFunction(samples)
colours.ApplyPreset("Grayscale", True)
colours.RescaleTransferFunction(0.0, 255.0)
shown.SetScalarBarVisibility(view, True)
bar = simple.GetScalarBar(colours, view)
bar.Title = samples
bar.ComponentTitle = ""
bar.TitleColor = bar.LabelColor = [0, 0, 0]
bar.RangeLabelFormat = "%.0f"
bar.WindowLocation = "Any Location"
bar.Position = [0.84, 0.1]
bar.ScalarBarLength = 0.8
title = simple.Text(Text=os.path.basename(volume_path))
label = simple.Show(title, view)
label.Color = [0, 0, 0]
label.FontSize = 14
label.WindowLocation = "Upper Left Corner"

# The first render places the camera to see all; then it goes where it is wanted.
simple.Render(view)
# Looking down z, in parallel projection: 40 units from the centre to the top edge (200 pixels),
# the centre 8 units (40 pixels) left of the middle of the picture, to leave room for the bar.
view.CameraParallelProjection = 1
view.CameraFocalPoint = [centre[0] + 8, centre[1], centre[2]]
view.CameraPosition = [centre[0] + 8, centre[1], z1 + 100]
view.CameraViewUp = [0, 1, 0]
view.CameraParallelScale = 40
simple.Render(view)
simple.SaveScreenshot(picture_path, view, ImageResolution=[480, 400])
