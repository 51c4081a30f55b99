// Reads a file in the legacy layout as the converters write it (no DATASET line; a uniform grid, a
// rectilinear grid or a stack of slices; samples embedded as BINARY or ASCII, or named in
// reference mode) and also the STRUCTURED_POINTS and RECTILINEAR_GRID files of other writers.
//
// A uniform grid becomes vtkImageData, a rectilinear grid and a slice stack vtkRectilinearGrid
// (the slice stack's x and y lines from its spacing and origin, its z lines from its locations).
// Any sub-extent can be asked for: BINARY samples are read from the bytes of that extent only.
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
    // (vtkSMPTools::Initialize), or the machine's hardware threads where those tools run
    // sequentially; 1 reads them on the calling thread.
    vtkSetClampMacro(NumberOfThreads, int, 0, VTK_INT_MAX);
    vtkGetMacro(NumberOfThreads, int);

    // 1 to advise the memory of BINARY samples read on several threads to huge pages: fewer
    // page faults where the kernel finds whole huge pages free; 0 (the default) not to, as on a
    // virtual machine that takes back freed memory the advice made the read slower.
    vtkSetClampMacro(HugePages, int, 0, 1);
    vtkGetMacro(HugePages, int);

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

    char* FileName = nullptr;
    int ByteOrder = BigEndian;
    int NumberOfThreads = 0;
    int HugePages = 0;
    vtkIdType SampleBytesRead = 0;
    struct Internals;
    std::unique_ptr<Internals> Internal;
};

#endif
