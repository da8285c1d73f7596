// The worker's inflation: DecompressFile's run, which also ends within
// milliseconds of a stop request.
#ifndef SFX_EXTRACT_STOPPABLE_INFLATION_H
#define SFX_EXTRACT_STOPPABLE_INFLATION_H

// Returns what DecompressFile returns, and StreamInflater::INFLATE_ABORTED
// when the stop event was signalled during the run.
int InflateUnlessStopped(const char* inputPath, const char* outputPath);

#endif
