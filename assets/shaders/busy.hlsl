// Work that serves no purpose but to take GPU time: one thread per group, a dependent loop
// the compiler cannot shorten. loopSize is declared for the controller but not read.
cbuffer ConstBufferCS_Per_Frame : register(b1)
{
	int	loopSize;
};

RWBuffer<float4>	buf	: register(u0);

[numthreads(1, 1, 1)]
void	mainCS(uint3	DTid	: SV_DispatchThreadID)
{
	float4	e	= buf[DTid.x];
	float	v	= e.x;
	[loop]
	for (int i = 0; i < 10000; i++)
	{
		v	+= v * v;
	}
	e.x	= v;
	buf[DTid.x]	= e;
}
