// Reads a file in the legacy layout as the converters write it (no DATASET line; a uniform grid, a
// rectilinear grid or a stack of slices; samples embedded as BINARY or ASCII, or named in
// reference mode) and also the STRUCTURED_POINTS and RECTILINEAR_GRID files of other writers.
//
// A uniform grid becomes vtkImageData, a rectilinear grid and a slice stack vtkRectilinearGrid
// (the slice stack's x and y lines from its spacing and origin, its z lines from its locations).
// Any sub-extent can be asked for: BINARY samples are read from the bytes of that extent only.
// A box (VOI) and a sample rate, named as vtkExtractVOI names them, select a smaller grid, read
// from the rows that hold its samples alone; MemoryMap hands VTK the file's own pages instead.
#ifndef vtkVoxReader_h
#define vtkVoxReader_h

#include "voxViewerModule.h"
#include "vtkDataObjectAlgorithm.h"

#include <memory>

class VOXVIEWER_EXPORT vtkVoxReader : public vtkDataObjectAlgorithm {
  public:
    static vtkVoxReader* New();
    vtkTypeMacro(vtkVoxReader, vtkDataObjectAlgorithm) void PrintSelf(ostream& os,
                                                                      vtkIndent indent) override;

    // The file to read.
    vtkSetStringMacro(FileName);
    vtkGetStringMacro(FileName);

    // How BINARY values are read: big-endian as the layout writes them (the default),
    // little-endian, or automatically, as voxinfo judges them.
    enum { BigEndian = 0, LittleEndian = 1, Automatic = 2 };
    vtkSetClampMacro(ByteOrder, int, BigEndian, Automatic);
    vtkGetMacro(ByteOrder, int);
    void SetByteOrderToBigEndian() { this->SetByteOrder(BigEndian); }
    void SetByteOrderToLittleEndian() { this->SetByteOrder(LittleEndian); }
    void SetByteOrderToAutomatic() { this->SetByteOrder(Automatic); }

    // The threads that read the samples: 0 (the default) for as many as VTK's SMP tools use
    // (vtkSMPTools::Initialize; one where they run sequentially), or where VTK has no such
    // setting the processors that the process may run on (its CPU affinity); 1 reads them on
    // the calling thread. A thread that cannot start leaves its share to the calling thread.
    vtkSetClampMacro(NumberOfThreads, int, 0, VTK_INT_MAX);
    vtkGetMacro(NumberOfThreads, int);

    // 1 to advise the memory of BINARY samples read on several threads to huge pages: fewer
    // page faults where the kernel finds whole huge pages free; 0 (the default) not to, as on a
    // virtual machine that takes back freed memory the advice made the read slower.
    vtkSetClampMacro(HugePages, int, 0, 1);
    vtkGetMacro(HugePages, int);

    // Every i-th, j-th and k-th sample along x, y and z, from the first of the box (default
    // 1 1 1): spacing and grid lines follow, each output point where its input point lies. Only
    // the rows (along x) that hold output samples are read; a rate along x still reads whole
    // rows, from their first sample to their last.
    vtkSetVector3Macro(SampleRate, int);
    vtkGetVector3Macro(SampleRate, int);

    // The box read: imin, imax, jmin, jmax, kmin, kmax, inclusive indices of the file's grid,
    // clamped to it (default: the whole grid). A box with no sample of the grid is an error.
    // The output's extent runs from imin / i-rate along x (the box's own indices at rate 1).
    vtkSetVector6Macro(VOI, int);
    vtkGetVector6Macro(VOI, int);

    // 1 to hand VTK the file's own pages (a private mapping, released with the array) where no
    // byte needs swapping and no rate or box asks for a copy: the open reads nothing, and the
    // memory is the page cache's. Elsewhere the samples are read. 0 (the default): always read,
    // as a file shortened while it is mapped ends the process (SIGBUS) on its next touch.
    vtkSetClampMacro(MemoryMap, int, 0, 1);
    vtkGetMacro(MemoryMap, int);

    // 1 where the samples of the last output are the file's mapped pages.
    vtkGetMacro(SamplesMapped, int);

    // 1 for a file in the legacy layout without a DATASET line, which VTK's own reader cannot
    // read; 0 for any other file.
    int CanReadFile(const char* name);

    // Whether the samples were read as little-endian values (after automatic judgement, too).
    int GetSamplesLittleEndian();

    // The bytes of samples read from the file since the reader was made: those of the extents
    // asked for.
    vtkGetMacro(SampleBytesRead, vtkIdType);

  protected:
    vtkVoxReader();
    ~vtkVoxReader() override;

    int FillOutputPortInformation(int port, vtkInformation* info) override;
    int RequestDataObject(vtkInformation* request, vtkInformationVector** inputs,
                          vtkInformationVector* outputs) override;
    int RequestInformation(vtkInformation* request, vtkInformationVector** inputs,
                           vtkInformationVector* outputs) override;
    int RequestData(vtkInformation* request, vtkInformationVector** inputs,
                    vtkInformationVector* outputs) override;

  private:
    vtkVoxReader(const vtkVoxReader&) = delete;
    void operator=(const vtkVoxReader&) = delete;
    bool Open();
    bool Select();

    char* FileName = nullptr;
    int ByteOrder = BigEndian;
    int NumberOfThreads = 0;
    int HugePages = 0;
    int SampleRate[3] = {1, 1, 1};
    int VOI[6] = {0, VTK_INT_MAX, 0, VTK_INT_MAX, 0, VTK_INT_MAX};
    int MemoryMap = 0;
    int SamplesMapped = 0;
    vtkIdType SampleBytesRead = 0;
    struct Internals;
    std::unique_ptr<Internals> Internal;
};

#endif
